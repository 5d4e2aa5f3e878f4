#pragma once

#include <string>
#include <string_view>

namespace parlane {

// Helpers for the UTF-8 text a database keeps in memory.

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool IsValidUtf8(std::string_view text);

// Appends the UTF-16 code units of well-formed UTF-8 `text` to `out`.
void AppendUtf16(std::string_view text, std::u16string& out);

// Orders two well-formed UTF-8 texts as their UTF-16 forms compare code unit by code unit.
bool Utf16Less(std::string_view a, std::string_view b);

struct Utf16KeyLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return Utf16Less(a, b); }
};

}  // namespace parlane
