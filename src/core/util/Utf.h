#pragma once

#include <string>
#include <string_view>

namespace parlane {

// Text inside the program is UTF-16; files and modem lines are UTF-8. Invalid input never throws:
// a bad UTF-8 sequence or a lone surrogate becomes U+FFFD.
std::u16string fromUtf8(std::string_view utf8);
std::string toUtf8(std::u16string_view utf16);

// Plain ASCII widening and narrowing, for keys and literals known to be ASCII.
std::u16string fromAscii(std::string_view ascii);

}  // namespace parlane
