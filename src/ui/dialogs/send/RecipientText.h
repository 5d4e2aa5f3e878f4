#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace parlane {

// The recipients box holds numbers separated by commas, or a group label made by the address
// book ("(3 subscribers)") whose numbers are kept apart.
bool isGroupLabel(std::u16string_view boxText);

// The numbers of a typed recipients text: split at the commas, blanks around each number dropped,
// empty pieces skipped. A group label gives nothing: its numbers are the address book's.
std::vector<std::u16string> splitRecipients(std::u16string_view boxText);

}  // namespace parlane
