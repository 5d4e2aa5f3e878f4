#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace parlane {

// The value of a reply line ("SM",0,20,"SM",0,20) split at the commas outside double quotes;
// each field trimmed of blanks and of one enclosing pair of double quotes. An empty value gives
// one empty field.
std::vector<std::u16string> splitReplyFields(std::u16string_view value);

// The part of a line after its first ":", trimmed; the whole line trimmed when it has none.
std::u16string replyValue(std::u16string_view line);

}  // namespace parlane
