#pragma once

#include <string>
#include <string_view>

namespace parlane {

// One field of a tab-separated line file the gateway keeps for itself: backslash, tab and line
// breaks are written as \\, \t, \n and \r so any text fits on its line.
std::string escapedField(std::string_view value);

// The reverse; false for a backslash that escapes nothing known (the line is then not ours).
bool unescapeField(std::string_view field, std::string& out);

}  // namespace parlane
