#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace parlane {

// The fields of a reply value such as `"SM",0,20,"SM",0,20` or a +CMGL header: split at commas
// that are not inside double quotes, each field trimmed of blanks and of one enclosing pair of
// double quotes. An empty value is one empty field.
std::vector<std::u16string> splitQuotedFields(std::u16string_view value);

// A field that is a plain decimal number (digits only, at most nine); -1 otherwise. Storage
// indexes are read this way, so that a damaged field never names slot 0.
int readIndexField(std::u16string_view field);

}  // namespace parlane
