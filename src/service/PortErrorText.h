#pragma once

#include <string>
#include <string_view>

namespace parlane {

// What the user is told when the port can't be opened or set up: "can't be opened" for a port
// that does not exist, "not set" for an empty name, else the system's text, with what to do for
// the two errors a Linux user meets most (no permission, port held by another program).
std::u16string portOpenFailureText(int errnum, std::u16string_view port);

}  // namespace parlane
