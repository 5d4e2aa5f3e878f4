#pragma once

#include <string>
#include <string_view>

namespace parlane {

// How a USSD reply text is read ("ussd.decode").
enum class UssdDecodeMode : int {
  kAuto = 0,
  kText = 1,           // as received
  kTextUnicode = 2,    // two characters, low octets, make one UTF-16 unit
  kDigitsUnicode = 3,  // four hexadecimal digits make one UTF-16 unit
  kDigitsAscii = 4,    // two hexadecimal digits make one character
};

inline constexpr int kUssdDcsUcs2 = 0x48;
// UCS2, the text preceded by its language in two packed 7-bit characters.
inline constexpr int kUssdDcsUcs2WithLanguage = 0x11;

// The text of a "+CUSD:" reply. `mode` is the "ussd.decode" value; anything other than 1 to 4
// decodes automatically by the coding scheme: hexadecimal UCS2 for the UCS2 schemes, the
// hexadecimal of packed septets for the 7-bit ones when the text is that; any other text is shown
// as it is. An incomplete last group of characters or digits is dropped.
std::u16string decodeUssdText(std::u16string_view text, int dcs, int mode);

}  // namespace parlane
