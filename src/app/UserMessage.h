#pragma once

#include <string>

namespace parlane {

// Start-up problems are told in a message box; with no display they go to standard error instead,
// since nobody could close a box there.
void showStartupMessage(const std::u16string& caption, const std::u16string& text, bool isError);

}  // namespace parlane
