#pragma once

#include <string>
#include <string_view>

namespace parlane {

// Text mode and the modem's character set: a text with a character outside the GSM alphabet
// goes as hexadecimal UCS2 under "AT+CSCS="UCS2"", with the UCS2 coding in "AT+CSMP".

// Whether some character of `text` is outside the GSM default alphabet and its extension.
bool needsUcs2(std::u16string_view text);

// `text` as uppercase hexadecimal UCS2, four digits per UTF-16 unit, big-endian.
std::string ucs2Hex(std::u16string_view text);

// Whether an "AT+CSCS=?" answer ("+CSCS: ("IRA","GSM","UCS2")") lists UCS2.
bool listsUcs2(std::u16string_view line);

// The character set named by an "AT+CSCS?" answer ("+CSCS: "IRA"" gives IRA); empty when none.
std::string currentCharset(std::u16string_view line);

// "AT+CSMP=" with the first three values of an "AT+CSMP?" answer ("+CSMP: 17,167,0,0"), or 17,
// 167, 0 when it gives none, and `coding` as the fourth (below 0: the answer's own, else 0); no
// line end.
std::string csmpCommand(std::u16string_view answer, int coding);

}  // namespace parlane
