#include "gsm/PduDecoder.h"

#include <algorithm>

#include "gsm/CodingScheme.h"
#include "gsm/GsmAlphabet.h"
#include "gsm/NationalAlphabet.h"
#include "gsm/PduAddressValue.h"
#include "gsm/TimeStamp.h"
#include "gsm/UserDataHeader.h"

namespace parlane {

namespace {

constexpr std::uint8_t kTypeMask = 0x03;
constexpr std::uint8_t kTypeDeliver = 0x00;
constexpr std::uint8_t kTypeStatusReport = 0x02;
constexpr std::uint8_t kHeaderIndicator = 0x40;

// Reads the address field at `position` (length octet, type octet, digits) and moves past it.
std::optional<std::u16string> readAddress(std::span<const std::uint8_t> octets,
                                          std::size_t& position) {
  if (position >= octets.size()) return std::nullopt;
  const unsigned semiOctets = octets[position];
  const std::size_t fieldOctets = (semiOctets + 1) / 2 + 1;
  if (octets.size() - position - 1 < fieldOctets) return std::nullopt;
  auto value = decodeAddressValue(octets.subspan(position + 1, fieldOctets), semiOctets);
  position += 1 + fieldOctets;
  return value;
}

// Concatenation and port elements of a user data header. Reading stops at an element that runs
// past the header or a concatenation element too short to be one.
void parseHeader(std::span<const std::uint8_t> header, ReceivedPdu& pdu) {
  std::size_t at = 0;
  while (header.size() - at >= 2) {
    const std::uint8_t id = header[at];
    const std::size_t length = header[at + 1];
    if (header.size() - at - 2 < length) break;
    const auto data = header.subspan(at + 2, length);
    at += 2 + length;
    int reference = -1;
    int total = 0;
    int sequence = 0;
    if (id == 0x00) {
      if (length < 3) break;
      reference = data[0];
      total = data[1];
      sequence = data[2];
    } else if (id == 0x08) {
      if (length < 4) break;
      reference = data[0] << 8 | data[1];
      total = data[2];
      sequence = data[3];
    } else if (id == 0x05) {
      pdu.portAddressed = 1;
      pdu.coding = SmsCoding::Data8;
    }
    // A part number of 0 or beyond the total makes the element void, as the standard says; kept,
    // it would give part index -1 or one past the end to whoever joins the parts.
    if (reference >= 0 && total >= 1 && sequence >= 1 && sequence <= total) {
      pdu.reference = reference;
      pdu.total = total;
      pdu.index = sequence - 1;
    }
  }
}

std::u16string decodeText(std::span<const std::uint8_t> data, SmsCoding coding, std::size_t limit,
                          unsigned fillBits, GsmLanguages languages) {
  std::u16string text;
  if (coding == SmsCoding::Gsm7) {
    return septetsToText(unpackSeptets(data, fillBits, limit), languages);
  }
  if (coding == SmsCoding::Ucs2) {
    const std::size_t units = std::min(limit, data.size() / 2);
    text.resize(units);
    for (std::size_t i = 0; i < units; ++i) {
      text[i] = static_cast<char16_t>(data[2 * i] << 8 | data[2 * i + 1]);
    }
    return text;
  }
  const std::size_t units = std::min(limit, data.size());
  text.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(units));
  return text;
}

}  // namespace

std::optional<ReceivedPdu> decodeDeliverPdu(std::span<const std::uint8_t> octets,
                                            const PduDecoderOptions& options) {
  if (octets.empty()) return std::nullopt;
  std::size_t position = std::size_t{octets[0]} + 1;
  if (position >= octets.size()) return std::nullopt;
  const std::uint8_t first = octets[position];
  if ((first & kTypeMask) == kTypeStatusReport) return decodeStatusReportPdu(octets, options);
  if ((first & kTypeMask) != kTypeDeliver) return std::nullopt;
  ++position;

  ReceivedPdu pdu;
  pdu.kind = ReceivedPdu::kDeliver;
  auto sender = readAddress(octets, position);
  if (!sender) return std::nullopt;
  pdu.party = std::move(*sender);

  if (octets.size() - position < 2) return std::nullopt;
  const std::uint8_t dcs = octets[position + 1];  // after TP-PID
  position += 2;
  const SmsCoding declaredCoding = codingOf(dcs);
  pdu.coding = declaredCoding;

  const auto time = decodeTimeStamp(octets, position);  // also makes sure TP-UDL exists
  if (!time) return std::nullopt;
  pdu.time = *time;
  const std::size_t udl = octets[position++];
  const auto userData = octets.subspan(position);

  // The user data must hold everything TP-UDL announces; less means the PDU was cut short.
  const std::size_t announcedOctets = declaredCoding == SmsCoding::Gsm7 ? (udl * 7 + 7) / 8 : udl;
  if (userData.size() < announcedOctets) return std::nullopt;

  std::size_t headerOctets = 0;
  if (first & kHeaderIndicator) {
    if (userData.empty()) return std::nullopt;
    const std::size_t udhl = userData[0];
    headerOctets = udhl + 1;
    if (userData.size() < headerOctets) return std::nullopt;
    pdu.header.assign(userData.begin() + 1,
                      userData.begin() + static_cast<std::ptrdiff_t>(headerOctets));
    parseHeader(pdu.header, pdu);
  }
  const GsmLanguages languages = languagesOfHeader(pdu.header);

  const auto textData = userData.subspan(headerOctets);
  std::size_t limit = 0;
  unsigned fillBits = 0;
  if (pdu.coding == SmsCoding::Gsm7) {
    // The text starts on the first septet boundary after the header.
    const std::size_t headerSeptets = (headerOctets * 8 + 6) / 7;
    if (udl < headerSeptets) return std::nullopt;
    limit = udl - headerSeptets;
    fillBits = static_cast<unsigned>(headerSeptets * 7 - headerOctets * 8);
  } else {
    if (udl < headerOctets) return std::nullopt;
    limit = udl - headerOctets;
    if (pdu.coding == SmsCoding::Ucs2) limit /= 2;
  }
  if (pdu.coding == SmsCoding::Gsm7) {
    pdu.lockingLanguage = languages.locking;
    pdu.shiftLanguage = languages.shift;
  }
  pdu.text = decodeText(textData, pdu.coding, limit, fillBits, languages);
  return pdu;
}

std::optional<ReceivedPdu> decodeStatusReportPdu(std::span<const std::uint8_t> octets,
                                                 const PduDecoderOptions& options) {
  if (octets.empty()) return std::nullopt;
  std::size_t position = options.statusReportWithoutSmsc ? 0 : std::size_t{octets[0]} + 1;
  // The first octet and TP-MR.
  if (position >= octets.size() || octets.size() - position < 2) return std::nullopt;
  if ((octets[position] & kTypeMask) != kTypeStatusReport) return std::nullopt;

  ReceivedPdu pdu;
  pdu.kind = ReceivedPdu::kStatusReport;
  pdu.messageReference = octets[position + 1];
  position += 2;
  auto recipient = readAddress(octets, position);
  if (!recipient) return std::nullopt;
  pdu.party = std::move(*recipient);
  const auto time = decodeTimeStamp(octets, position);
  if (!time) return std::nullopt;
  const auto discharge = decodeTimeStamp(octets, position);  // also makes sure TP-ST exists
  if (!discharge) return std::nullopt;
  pdu.time = *time;
  pdu.dischargeTime = *discharge;
  pdu.status = octets[position];
  return pdu;
}

}  // namespace parlane
