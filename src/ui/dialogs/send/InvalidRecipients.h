#pragma once

#include <QString>
#include <string>
#include <vector>

namespace parlane {

// One warning for the recipients that are no numbers, each named with "Invalid recipient number
// '%s'": a long list is cut after the first few, since nobody reads a thousand lines in a box.
// Every one of them is logged.
QString invalidRecipientsText(const std::vector<std::u16string>& invalid);

// One warning naming them, each with "%s: not allowed", cut as above.
QString notAllowedRecipientsText(const std::vector<std::u16string>& refused);

}  // namespace parlane
