#pragma once

#include <string>
#include <string_view>

namespace parlane {

// Text inside the program is UTF-16; files and modem lines are UTF-8. Invalid input never throws:
// a bad UTF-8 sequence or a lone surrogate becomes U+FFFD.
std::u16string fromUtf8(std::string_view utf8);
std::string toUtf8(std::u16string_view utf16);

constexpr bool isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
constexpr bool isSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// Appends a code point (at most U+10FFFF, not a surrogate) as one unit or a surrogate pair.
void appendCodePoint(std::u16string& out, char32_t codePoint);

// Plain ASCII widening and narrowing, for keys and literals known to be ASCII.
std::u16string fromAscii(std::string_view ascii);

}  // namespace parlane
