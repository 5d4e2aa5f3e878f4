#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace parlane {

// Time stamps shown to the user: "dd-mm-yy hh:mm:ss" in local time.
std::u16string formatDisplayTime(std::time_t when);

}  // namespace parlane
