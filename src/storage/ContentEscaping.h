#pragma once

#include <string>
#include <string_view>

namespace parlane {

// A message text kept on one folder line: CR, LF and TAB become "%0D", "%0A" and "%09".
// Nothing else is escaped, "%" included, so older files read the same.
std::u16string escapeContent(std::u16string_view text);
// "%0D"/"%0d", "%0A"/"%0a" and "%09" back to CR, LF and TAB.
std::u16string unescapeContent(std::u16string_view text);

// Any other text field: TAB, CR and LF become a space, since they would split the record.
std::u16string flattenField(std::u16string_view text);

}  // namespace parlane
