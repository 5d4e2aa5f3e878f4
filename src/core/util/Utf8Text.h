#pragma once

#include <string>
#include <string_view>

namespace parlane {

// Fast paths for UTF-8 text that is checked once and then kept, as the folders keep their lines.

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool isValidUtf8(std::string_view text);

// Appends the UTF-16 code units of well-formed UTF-8 `text` to `out`.
void appendUtf16(std::string_view text, std::u16string& out);

// Orders two well-formed UTF-8 texts as their UTF-16 forms compare code unit by code unit.
bool utf16Less(std::string_view a, std::string_view b);

struct Utf16KeyLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return utf16Less(a, b); }
};

}  // namespace parlane
