#include "gsm/UssdText.h"

#include <optional>
#include <vector>

#include "core/util/HexDigit.h"
#include "gsm/GsmAlphabet.h"

namespace parlane {

namespace {

bool isAllHex(std::u16string_view text) {
  for (const char16_t c : text) {
    if (hexDigitValue(c) < 0) return false;
  }
  return true;
}

// Groups of `digits` hexadecimal digits, each one unit; a character that is not a digit counts
// as 0 (the user chose the mode), an incomplete last group is dropped.
std::u16string decodeHexGroups(std::u16string_view text, std::size_t digits) {
  std::u16string out;
  out.reserve(text.size() / digits);
  for (std::size_t at = 0; text.size() - at >= digits; at += digits) {
    unsigned value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
      const int digit = hexDigitValue(text[at + i]);
      value = value * 16 + static_cast<unsigned>(digit < 0 ? 0 : digit);
    }
    out.push_back(static_cast<char16_t>(value));
  }
  return out;
}

std::u16string decodeOctetPairs(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size() / 2);
  for (std::size_t at = 0; text.size() - at >= 2; at += 2) {
    out.push_back(static_cast<char16_t>((text[at] & 0xFF) << 8 | (text[at + 1] & 0xFF)));
  }
  return out;
}

enum class UssdAlphabet { kGsm7, kData8, kUcs2, kUcs2AfterLanguage };

// The alphabet of a USSD data coding scheme (the cell broadcast coding of TS 23.038).
UssdAlphabet alphabetOf(int dcs) {
  if (dcs == kUssdDcsUcs2WithLanguage) return UssdAlphabet::kUcs2AfterLanguage;
  if ((dcs & 0xC0) == 0x40) {  // general data coding: the alphabet in bits 2 and 3
    switch ((dcs >> 2) & 0x03) {
      case 1:
        return UssdAlphabet::kData8;
      case 2:
        return UssdAlphabet::kUcs2;
      default:
        return UssdAlphabet::kGsm7;
    }
  }
  if ((dcs & 0xF0) == 0xF0) return (dcs & 0x04) != 0 ? UssdAlphabet::kData8 : UssdAlphabet::kGsm7;
  if (dcs >= 0 && dcs < 0x40) return UssdAlphabet::kGsm7;  // languages, 7-bit
  return UssdAlphabet::kData8;  // reserved and message-with-header groups: nothing to decode
}

// Septets a plain text is made of: the default table less the Greek capitals and unknown
// escapes. Garbage from unpacking what was never packed is rich in those.
bool isPlainText(const std::vector<std::uint8_t>& septets) {
  for (std::size_t i = 0; i < septets.size(); ++i) {
    const std::uint8_t septet = septets[i];
    if (septet == 0x10 || (septet >= 0x12 && septet <= 0x1A)) return false;
    if (septet == kGsmEscape) {
      if (i + 1 == septets.size() ||
          gsmExtensionToUnicode(septets[i + 1]) == gsmDefaultToUnicode(septets[i + 1])) {
        return false;
      }
      ++i;
    }
  }
  return true;
}

// A 7-bit text sent as the hexadecimal of its packed octets, as some sticks do: all digits, a
// whole number of octets with zero bits above the last septet, at least one digit above 9 (a
// reply of plain digits stays what it is), and a plain text when unpacked.
std::optional<std::u16string> decodePackedHex(std::u16string_view text) {
  if (text.empty() || text.size() % 2 != 0 || !isAllHex(text)) return std::nullopt;
  bool letter = false;
  std::vector<std::uint8_t> octets;
  octets.reserve(text.size() / 2);
  for (std::size_t at = 0; at < text.size(); at += 2) {
    letter = letter || hexDigitValue(text[at]) > 9 || hexDigitValue(text[at + 1]) > 9;
    octets.push_back(
        static_cast<std::uint8_t>(hexDigitValue(text[at]) << 4 | hexDigitValue(text[at + 1])));
  }
  if (!letter) return std::nullopt;
  const std::size_t septetCount = octets.size() * 8 / 7;
  const unsigned spareBits = static_cast<unsigned>(octets.size() * 8 - septetCount * 7);
  if (spareBits > 0 && (octets.back() >> (8 - spareBits)) != 0) return std::nullopt;
  std::vector<std::uint8_t> septets = unpackSeptets(octets, 0, septetCount);
  // Seven spare bits are filled with a CR, which is no part of the text.
  if (septetCount % 8 == 0 && !septets.empty() && septets.back() == 0x0D) septets.pop_back();
  if (!isPlainText(septets)) return std::nullopt;
  return gsmSeptetsToText(septets);
}

std::u16string decodeUcs2(std::u16string_view text, bool afterLanguage) {
  if (text.size() % 2 != 0) return std::u16string(text);
  if (!isAllHex(text)) {
    // A UCS2 reply that the modem passed on as raw characters: two characters make one unit,
    // which is what reading each character's low octet as two hexadecimal digits comes to.
    return decodeOctetPairs(text);
  }
  std::u16string decoded = decodeHexGroups(text, 4);
  // Two 7-bit characters of the language, padded to two octets: one unit.
  if (afterLanguage && !decoded.empty()) decoded.erase(0, 1);
  return decoded;
}

std::u16string decodeAuto(std::u16string_view text, int dcs) {
  switch (alphabetOf(dcs)) {
    case UssdAlphabet::kUcs2:
      return decodeUcs2(text, false);
    case UssdAlphabet::kUcs2AfterLanguage:
      return decodeUcs2(text, true);
    case UssdAlphabet::kGsm7:
      if (std::optional<std::u16string> unpacked = decodePackedHex(text)) return *unpacked;
      return std::u16string(text);
    case UssdAlphabet::kData8:
      break;
  }
  return std::u16string(text);
}

}  // namespace

std::u16string decodeUssdText(std::u16string_view text, int dcs, int mode) {
  switch (static_cast<UssdDecodeMode>(mode)) {
    case UssdDecodeMode::kText:
      return std::u16string(text);
    case UssdDecodeMode::kTextUnicode:
      return decodeOctetPairs(text);
    case UssdDecodeMode::kDigitsUnicode:
      return decodeHexGroups(text, 4);
    case UssdDecodeMode::kDigitsAscii:
      return decodeHexGroups(text, 2);
    default:
      return decodeAuto(text, dcs);
  }
}

}  // namespace parlane
