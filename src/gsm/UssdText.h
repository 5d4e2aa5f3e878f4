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

// The text of a "+CUSD:" reply. `mode` is the "ussd.decode" value; anything other than 1 to 4
// decodes automatically. An incomplete last group of characters or digits is dropped.
std::u16string DecodeUssdText(std::u16string_view text, int dcs, int mode);

}  // namespace parlane
