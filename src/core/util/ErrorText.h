#pragma once

#include <string>

namespace parlane {

// The system's message text for an errno value, or "Unknown error" when it has none.
std::u16string errorText(int errnum);

}  // namespace parlane
