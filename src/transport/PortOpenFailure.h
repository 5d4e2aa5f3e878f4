#pragma once

#include <string>
#include <string_view>

namespace parlane {

// What the user is told when a port can't be opened or set up: "The COM port is not set..." for an
// empty name, "The port '%s' can't be opened..." for a missing device, otherwise the system's text.
// Two errors a Linux user meets get a hint after that text: EACCES (not in the group that owns the
// port) and EBUSY (another program, usually ModemManager or brltty, holds it).
std::u16string portOpenFailureText(std::u16string_view portName, int errnum);

}  // namespace parlane
