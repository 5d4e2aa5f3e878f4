#pragma once

#include <string>
#include <string_view>

namespace parlane {

// The "%s" of the "Sent: %s" log line for a command: the bytes as text without any "\r\n", and
// the PIN of an "AT+CPIN=" command shown as asterisks, since the log is a plain file others may
// read.
std::u16string commandLogText(std::string_view bytes);
// The same for a message body: line ends kept, nothing hidden.
std::u16string bodyLogText(std::string_view bytes);

}  // namespace parlane
