#include "gsm/UssdText.h"

#include "core/util/HexDigit.h"

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

std::u16string decodeAuto(std::u16string_view text, int dcs) {
  if (text.size() % 2 != 0) return std::u16string(text);
  if (!isAllHex(text)) {
    // A UCS2 reply that the modem passed on as raw characters: two characters make one unit,
    // which is what reading each character's low octet as two hexadecimal digits comes to.
    if (dcs == kUssdDcsUcs2) return decodeOctetPairs(text);
    return std::u16string(text);
  }
  return decodeHexGroups(text, 4);
}

}  // namespace

std::u16string DecodeUssdText(std::u16string_view text, int dcs, int mode) {
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
