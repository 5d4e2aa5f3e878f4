#pragma once

#include <string>
#include <string_view>

namespace parlane {

// Small text helpers shared by the reply events.

// The text with every CR and LF removed.
std::u16string withoutLineEnds(std::u16string_view text);
// Without leading and trailing spaces, tabs, CRs and LFs.
std::u16string trimBlanks(std::u16string_view text);
// ASCII case-insensitive "begins with"; `prefix` is ASCII.
bool startsWithNoCase(std::string_view text, std::string_view prefix);
bool startsWithNoCase(std::u16string_view text, std::string_view prefix);

}  // namespace parlane
