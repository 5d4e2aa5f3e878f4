#pragma once

#include <string>
#include <string_view>

namespace parlane {

// `utf8` with every control character (C0, DEL and C1) written as an escape: "\r", "\n", "\t"
// and "\x1b" style. Texts from outside (messages, numbers, file names, modem lines) can then
// neither forge log lines nor drive the terminal that follows the log.
std::string escapeControls(std::string_view utf8);

}  // namespace parlane
