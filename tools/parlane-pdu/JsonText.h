#pragma once

#include <string>
#include <string_view>

namespace parlane {

// `text` (UTF-8) as a JSON string literal with its quotes: quotes, backslashes and control
// characters escaped, everything else kept as UTF-8.
std::string jsonString(std::string_view text);
std::string jsonString(std::u16string_view text);

}  // namespace parlane
