#include "gsm/PduEncoder.h"

#include <random>
#include <tuple>

#include "core/util/HexDigit.h"
#include "core/util/Utf.h"
#include "gsm/GsmAlphabet.h"
#include "gsm/HexOctets.h"
#include "gsm/NationalAlphabet.h"
#include "gsm/Numbers.h"
#include "gsm/PushEncoder.h"
#include "message/MessageFlags.h"
#include "message/PushMessage.h"
#include "message/SMSMessage.h"

namespace parlane {

namespace {

constexpr std::size_t kUserDataOctets = 140;
constexpr std::size_t kSmallestUserData = 8;
constexpr std::size_t kConcatHeaderOctets = 6;  // UDHL and the concatenation element
constexpr std::size_t kLanguageElementOctets = 3;

// Septets a user data header of `octets` octets (its length octet included) takes up, fill bits
// included: the text starts on the next septet boundary.
std::size_t headerSeptets(std::size_t octets) { return (octets * 8 + 6) / 7; }

unsigned fillBitsAfter(std::size_t headerOctets) {
  return static_cast<unsigned>(headerSeptets(headerOctets) * 7 - headerOctets * 8);
}

// 24 01 id for a national single shift table, 25 01 id for a national locking shift table.
Octets languageElementsOf(GsmLanguages languages) {
  Octets elements;
  if (languages.shift != 0) {
    elements.insert(elements.end(),
                    {kSingleShiftElement, 0x01, static_cast<std::uint8_t>(languages.shift)});
  }
  if (languages.locking != 0) {
    elements.insert(elements.end(),
                    {kLockingShiftElement, 0x01, static_cast<std::uint8_t>(languages.locking)});
  }
  return elements;
}

// Where each piece of at most `limit` units ends. A piece never ends between the two halves of a
// pair (an escape and its character, or two surrogates) when that would leave it non-empty: a
// phone that shows parts one by one would otherwise show a lone half on each side.
template <typename StartsPair>
std::vector<std::size_t> cutPieces(std::size_t length, std::size_t limit, StartsPair startsPair) {
  std::vector<std::size_t> ends;
  std::size_t start = 0;
  while (start < length) {
    std::size_t end = std::min(length, start + limit);
    if (end < length && end - 1 > start && startsPair(end - 1)) --end;
    ends.push_back(end);
    start = end;
  }
  return ends;
}

// Positions where an escape pair starts, as a receiver reads the septets: an escape always takes
// the septet after it.
std::vector<bool> escapePairStarts(const Octets& septets) {
  std::vector<bool> starts(septets.size(), false);
  for (std::size_t i = 0; i + 1 < septets.size(); ++i) {
    if ((septets[i] & 0x7F) == kGsmEscape) {
      starts[i] = true;
      ++i;
    }
  }
  return starts;
}

void append(Octets& to, const Octets& from) { to.insert(to.end(), from.begin(), from.end()); }

}  // namespace

std::vector<Octets> PduEncoder::encodeOutgoing(const GenericMessage& message,
                                               std::string* refusal) const {
  switch (message.kind()) {
    case MessageKind::Sms:
      if ((message.flags & messageFlags::kBinary) != 0) {
        return encodeDataSubmit(static_cast<const SMSMessage&>(message), refusal);
      }
      return encodeTextSubmit(static_cast<const SMSMessage&>(message), refusal);
    case MessageKind::Push:
      return PushEncoder(*this).encodePushSubmit(static_cast<const PushMessage&>(message), refusal);
    default:
      return {};
  }
}

std::string PduEncoder::tooManyPartsText(std::size_t parts) {
  return "the message needs " + std::to_string(parts) + " parts, more than the " +
         std::to_string(kMaxParts) + " that one message can have";
}

std::vector<Octets> PduEncoder::encodeTextSubmit(const SMSMessage& message,
                                                 std::string* refusal) const {
  const std::string digits = destinationDigitsOf(message);
  const std::int64_t validity = validitySecondsOf(message);
  const bool flash = (message.flags & messageFlags::kFlash) != 0;
  const bool report = (message.flags & messageFlags::kReport) != 0;
  const int messageClass = messageClassOf(message.flags);
  TextPlan plan;
  if ((message.flags & messageFlags::kUcs2) != 0) {
    plan.coding = SmsCoding::Ucs2;
  } else {
    plan = planText(message.content);
  }
  const SmsCoding coding = plan.coding;
  const std::size_t maxOctets = maxUserDataOctets();

  // Every part carries the language elements: a phone reads each part on its own.
  const Octets languageElements = languageElementsOf(plan.languages);
  const std::size_t elementCount = languageElements.size() / kLanguageElementOctets;
  Octets encoded;
  std::vector<std::size_t> ends;
  if (coding == SmsCoding::Gsm7) {
    ends = septetPieces(plan.septets, elementCount);
  } else {
    encoded = encodeUcs2(message.content);
    if (encoded.size() <= maxOctets) {
      ends = {encoded.size()};
    } else {
      const std::u16string_view text = message.content;
      const std::size_t pieceUnits = (maxOctets - kConcatHeaderOctets) / 2;
      ends = cutPieces(text.size(), pieceUnits, [&](std::size_t i) {
        return isHighSurrogate(text[i]) && i + 1 < text.size() && isLowSurrogate(text[i + 1]);
      });
      for (std::size_t& end : ends) end *= 2;  // units to octets
    }
  }

  if (ends.size() == 1) {
    // At most 160 septets or 140 octets here, so the length fits its octet.
    if (coding != SmsCoding::Gsm7) {
      Octets unit =
          buildSubmitHeader(digits, message.dstton, coding, validity, false, false, flash, report,
                          messageClass);
      unit.push_back(static_cast<std::uint8_t>(encoded.size()));
      append(unit, encoded);
      return {unit};
    }
    const bool header = !languageElements.empty();
    Octets unit =
        buildSubmitHeader(digits, message.dstton, coding, validity, false, header, flash, report,
                          messageClass);
    const std::size_t headerOctets = header ? 1 + languageElements.size() : 0;
    unit.push_back(static_cast<std::uint8_t>(headerSeptets(headerOctets) + plan.septets.size()));
    if (header) {
      unit.push_back(static_cast<std::uint8_t>(languageElements.size()));
      append(unit, languageElements);
    }
    append(unit, packSeptetsFrom(plan.septets, fillBitsAfter(headerOctets)));
    return {unit};
  }

  // Total and seq are single octets: a text that needs more parts can't be sent as one message,
  // and sending only its beginning would report a cut text as sent.
  if (ends.size() > kMaxParts) {
    if (refusal != nullptr) *refusal = tooManyPartsText(ends.size());
    return {};
  }
  const std::uint8_t reference = nextReference();
  const auto total = static_cast<std::uint8_t>(ends.size());
  const std::size_t headerOctets = kConcatHeaderOctets + languageElements.size();
  std::vector<Octets> units;
  units.reserve(ends.size());
  std::size_t start = 0;
  for (std::size_t i = 0; i < ends.size(); ++i) {
    Octets unit =
        buildSubmitHeader(digits, message.dstton, coding, validity, false, true, flash, report,
                          messageClass);
    const std::size_t count = ends[i] - start;
    if (coding == SmsCoding::Gsm7) {
      unit.push_back(static_cast<std::uint8_t>(count + headerSeptets(headerOctets)));
    } else {
      unit.push_back(static_cast<std::uint8_t>(count + kConcatHeaderOctets));
    }
    unit.push_back(static_cast<std::uint8_t>(headerOctets - 1));
    append(unit, buildConcatElement(reference, total, static_cast<std::uint8_t>(i + 1)));
    if (coding == SmsCoding::Gsm7) {
      append(unit, languageElements);
      append(unit,
             packSeptetsFrom(Octets(plan.septets.begin() + static_cast<std::ptrdiff_t>(start),
                                    plan.septets.begin() + static_cast<std::ptrdiff_t>(ends[i])),
                             fillBitsAfter(headerOctets)));
    } else {
      unit.insert(unit.end(), encoded.begin() + static_cast<std::ptrdiff_t>(start),
                  encoded.begin() + static_cast<std::ptrdiff_t>(ends[i]));
    }
    units.push_back(std::move(unit));
    start = ends[i];
  }
  return units;
}

PduEncoder::TextPlan PduEncoder::planText(std::u16string_view text) const {
  TextPlan plan;
  if (detectCoding(text) == SmsCoding::Gsm7) {
    plan.septets = mapToGsmDefault(text);
    return plan;
  }
  plan.coding = SmsCoding::Ucs2;
  if (options_.nationalLanguages.empty()) return plan;

  // The default table always stands beside the allowed ones: a text whose every character is in
  // the default alphabet needs no header element at all.
  std::vector<int> locking{0};
  std::vector<int> shift{0};
  for (const int language : options_.nationalLanguages) {
    if (language <= 0 || language > kLastNationalLanguage) continue;
    if (lockingShiftTable(language) != nullptr) locking.push_back(language);
    shift.push_back(language);
  }
  // Fewest parts first, then the shorter header, then fewer septets.
  std::size_t bestParts = 0;
  std::size_t bestElements = 0;
  bool found = false;
  for (const int lockingLanguage : locking) {
    for (const int shiftLanguage : shift) {
      const GsmLanguages languages{lockingLanguage, shiftLanguage};
      auto septets = textToSeptets(text, languages);
      if (!septets) continue;
      const std::size_t elements = (lockingLanguage != 0 ? 1 : 0) + (shiftLanguage != 0 ? 1 : 0);
      const std::size_t parts = septetPieces(*septets, elements).size();
      if (found && std::make_tuple(parts, elements, septets->size()) >=
                       std::make_tuple(bestParts, bestElements, plan.septets.size())) {
        continue;
      }
      found = true;
      bestParts = parts;
      bestElements = elements;
      plan.coding = SmsCoding::Gsm7;
      plan.languages = languages;
      plan.septets = std::move(*septets);
    }
  }
  return plan;
}

std::vector<std::size_t> PduEncoder::septetPieces(const Octets& septets,
                                                  std::size_t languageElements) const {
  const std::size_t maxSeptets = maxUserDataOctets() * 8 / 7;
  const std::size_t elementOctets = languageElements * kLanguageElementOctets;
  const std::size_t singleHeader = elementOctets == 0 ? 0 : 1 + elementOctets;
  if (septets.size() + headerSeptets(singleHeader) <= maxSeptets) return {septets.size()};
  const std::size_t pieceSeptets = maxSeptets - headerSeptets(kConcatHeaderOctets + elementOctets);
  const std::vector<bool> pairStarts = escapePairStarts(septets);
  return cutPieces(septets.size(), pieceSeptets, [&](std::size_t i) { return pairStarts[i]; });
}

std::vector<Octets> PduEncoder::encodeBinarySubmit(const SMSMessage& message) const {
  const bool flash = (message.flags & messageFlags::kFlash) != 0;
  const bool report = (message.flags & messageFlags::kReport) != 0;
  Octets unit = buildSubmitHeader(destinationDigitsOf(message), message.dstton, SmsCoding::Data8,
                                  validitySecondsOf(message), false, false, flash, report);
  // One unit carries 140 octets at most; the rest of a longer payload is not sent.
  const std::size_t count = std::min(message.content.size(), kUserDataOctets);
  unit.push_back(static_cast<std::uint8_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    unit.push_back(static_cast<std::uint8_t>(message.content[i] & 0xFF));
  }
  return {unit};
}

std::vector<Octets> PduEncoder::encodeDataSubmit(const SMSMessage& message,
                                                 std::string* refusal) const {
  const std::optional<Octets> data = hexToOctets(message.content);
  const auto refuse = [&](std::string reason) {
    if (refusal != nullptr) *refusal = std::move(reason);
    return std::vector<Octets>{};
  };
  if (!data) return refuse("the binary message's data are no hexadecimal octets");
  if (data->size() > kUserDataOctets) {
    return refuse("the binary message has " + std::to_string(data->size()) +
                  " octets, more than the " + std::to_string(kUserDataOctets) +
                  " that one message can carry");
  }
  const bool header = (message.flags & messageFlags::kUserDataHeader) != 0;
  Octets unit = buildSubmitHeader(destinationDigitsOf(message), message.dstton, SmsCoding::Data8,
                                  validitySecondsOf(message), false, header,
                                  (message.flags & messageFlags::kFlash) != 0,
                                  (message.flags & messageFlags::kReport) != 0,
                                  messageClassOf(message.flags));
  unit.push_back(static_cast<std::uint8_t>(data->size()));
  append(unit, *data);
  return {unit};
}

Octets PduEncoder::buildSubmitHeader(std::string_view digits, std::int32_t ton, SmsCoding coding,
                                     std::int64_t validitySeconds, bool binary, bool header,
                                     bool flash, bool report, int messageClass) const {
  Octets octets = smscField();
  std::uint8_t first = 0x11;
  if (header) first |= 0x40;
  if (report) first |= 0x20;
  octets.push_back(first);
  octets.push_back(0x00);  // TP-MR: the modem assigns the reference
  append(octets, encodeAddressField(digits, ton));
  octets.push_back(0x00);  // TP-PID
  std::uint8_t dcs = static_cast<std::uint8_t>(coding);
  if (binary) {
    dcs = 0xF5;
  } else if (flash) {
    dcs |= 0x10;
  } else if (messageClass >= 1 && messageClass <= 3) {
    dcs |= static_cast<std::uint8_t>(0x10 | messageClass);
  }
  octets.push_back(dcs);
  octets.push_back(encodeRelativeValidity(validitySeconds));
  return octets;
}

Octets PduEncoder::smscField() const {
  if (!options_.smscInPdu || options_.smscAddress.empty()) return {0x00};
  std::u16string address = options_.smscAddress;
  normalizeNumber(address, kTonInternational);
  std::string digits;
  for (char16_t unit : address) digits.push_back(static_cast<char>(unit & 0xFF));
  Octets field = encodeAddressField(digits, kTonInternational);
  field[0] = static_cast<std::uint8_t>(field.size() - 1);
  return field;
}

std::size_t PduEncoder::smscFieldLength() const { return smscField().size(); }

std::size_t PduEncoder::maxUserDataOctets() const {
  const int correction = options_.lengthCorrection;
  if (correction < 0 || correction > static_cast<int>(kUserDataOctets - kSmallestUserData)) {
    return kUserDataOctets;
  }
  const std::size_t octets = kUserDataOctets - static_cast<std::size_t>(correction);
  return octets & ~static_cast<std::size_t>(1);
}

int PduEncoder::messageClassOf(std::int32_t flags) {
  return (flags & messageFlags::kClassMask) >> messageFlags::kClassShift;
}

SmsCoding PduEncoder::detectCoding(std::u16string_view text) {
  for (char16_t unit : text) {
    if (unit >= 0x80) return SmsCoding::Ucs2;
  }
  return SmsCoding::Gsm7;
}

std::uint8_t PduEncoder::encodeRelativeValidity(std::int64_t seconds) {
  // The smallest code whose period is at least the one asked for: a message must never be
  // dropped by the network before the time its folder shows. Codes 0 to 143 count 5 minutes
  // from 5 minutes, 144 to 167 half hours after 12 hours, 168 to 196 days from 2, 197 to 255
  // weeks from 5.
  constexpr std::int64_t kMinute = 60;
  constexpr std::int64_t kHour = 60 * kMinute;
  constexpr std::int64_t kDay = 24 * kHour;
  constexpr std::int64_t kWeek = 7 * kDay;
  const auto units = [](std::int64_t value, std::int64_t unit) {
    return (value + unit - 1) / unit;
  };
  std::int64_t code;
  if (seconds <= 5 * kMinute) {
    code = 0;  // also an expiry before creation: the shortest period
  } else if (seconds <= 12 * kHour) {
    code = units(seconds, 5 * kMinute) - 1;
  } else if (seconds <= kDay) {
    code = 143 + units(seconds - 12 * kHour, 30 * kMinute);
  } else if (seconds <= 30 * kDay) {
    code = 166 + units(seconds, kDay);
  } else if (seconds <= 63 * kWeek) {
    code = 192 + units(seconds, kWeek);
  } else {
    code = 255;  // the longest the network keeps a message
  }
  return static_cast<std::uint8_t>(code);
}

Octets PduEncoder::packSeptets(const Octets& septets) {
  Octets octets((septets.size() * 7 + 7) / 8, 0);
  std::size_t bit = 0;
  for (std::uint8_t septet : septets) {
    const unsigned value = septet & 0x7F;
    const std::size_t index = bit / 8;
    const unsigned shift = bit % 8;
    octets[index] |= static_cast<std::uint8_t>(value << shift);
    if (shift > 1) octets[index + 1] |= static_cast<std::uint8_t>(value >> (8 - shift));
    bit += 7;
  }
  return octets;
}

Octets PduEncoder::packSeptetsAfterHeader(const Octets& septets) {
  return packSeptetsFrom(septets, 1);
}

Octets PduEncoder::packSeptetsFrom(const Octets& septets, unsigned fillBits) {
  if (septets.empty()) return {};
  fillBits %= 8;
  Octets octets((fillBits + septets.size() * 7 + 7) / 8, 0);
  std::size_t bit = fillBits;
  for (std::uint8_t septet : septets) {
    const unsigned value = septet & 0x7F;
    const std::size_t index = bit / 8;
    const unsigned shift = bit % 8;
    octets[index] |= static_cast<std::uint8_t>(value << shift);
    if (shift > 1) octets[index + 1] |= static_cast<std::uint8_t>(value >> (8 - shift));
    bit += 7;
  }
  return octets;
}

Octets PduEncoder::encodeUcs2(std::u16string_view text) {
  Octets octets;
  octets.reserve(text.size() * 2);
  for (char16_t unit : text) {
    octets.push_back(static_cast<std::uint8_t>(unit >> 8));
    octets.push_back(static_cast<std::uint8_t>(unit & 0xFF));
  }
  return octets;
}

Octets PduEncoder::encodeAddressField(std::string_view digits, std::int32_t ton) {
  // Hexadecimal letters keep their value; any other character that is not a digit is sent as 0.
  const auto nibble = [](char c) -> std::uint8_t {
    const int value = hexDigitValue(static_cast<unsigned char>(c));
    return static_cast<std::uint8_t>(value < 0 ? 0 : value);
  };
  // The length octet counts digits, so no more than 255 of them can be described.
  digits = digits.substr(0, 255);
  Octets octets{static_cast<std::uint8_t>(digits.size()), typeOfAddressOctet(ton)};
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    const std::uint8_t low = nibble(digits[i]);
    const std::uint8_t high = i + 1 < digits.size() ? nibble(digits[i + 1]) : 0x0F;
    octets.push_back(static_cast<std::uint8_t>(low | (high << 4)));
  }
  return octets;
}

Octets PduEncoder::buildConcatElement(std::uint8_t reference, std::uint8_t total,
                                      std::uint8_t seq) {
  return {0x00, 0x03, reference, total, seq};
}

Octets PduEncoder::mapToGsmDefault(std::u16string_view text) {
  Octets septets;
  septets.reserve(text.size());
  for (char16_t unit : text) {
    switch (unit) {
      case u'$':
        septets.push_back(0x02);
        break;
      case u'@':
        septets.push_back(0x00);
        break;
      case u'_':
        septets.push_back(0x11);
        break;
      case u'[':
        septets.insert(septets.end(), {kGsmEscape, 0x3C});
        break;
      case u'\\':
        septets.insert(septets.end(), {kGsmEscape, 0x2F});
        break;
      case u']':
        septets.insert(septets.end(), {kGsmEscape, 0x3E});
        break;
      case u'^':
        septets.insert(septets.end(), {kGsmEscape, 0x14});
        break;
      case u'{':
        septets.insert(septets.end(), {kGsmEscape, 0x28});
        break;
      case u'|':
        septets.insert(septets.end(), {kGsmEscape, 0x40});
        break;
      case u'}':
        septets.insert(septets.end(), {kGsmEscape, 0x29});
        break;
      case u'~':
        septets.insert(septets.end(), {kGsmEscape, 0x3D});
        break;
      default:
        septets.push_back(static_cast<std::uint8_t>(unit & 0x7F));
        break;
    }
  }
  return septets;
}

std::uint8_t PduEncoder::nextReference() {
  thread_local std::mt19937 generator{std::random_device{}()};
  return static_cast<std::uint8_t>(std::uniform_int_distribution<int>(0, 255)(generator));
}

std::int64_t PduEncoder::validitySecondsOf(const SMSMessage& message) {
  return static_cast<std::int64_t>(message.expiry) - message.created;
}

std::string PduEncoder::destinationDigitsOf(const SMSMessage& message) {
  std::u16string destination = message.to;
  normalizeNumber(destination, message.dstton);  // checked when the message was queued
  std::string digits;
  digits.reserve(destination.size());
  for (char16_t unit : destination) digits.push_back(static_cast<char>(unit & 0xFF));
  return digits;
}

}  // namespace parlane
