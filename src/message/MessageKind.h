#pragma once

#include <optional>
#include <string_view>

namespace parlane {

// The kinds of message objects. The value is the type code that getType() returns and the queues
// pass on; the name (messageKindName) is what the folders' "type" column holds.
enum class MessageKind : int {
  AtCommand = 0,     // "at"
  Sms = 1,           // "sms"
  Push = 2,          // "push"
  Ussd = 3,          // "ussd"
  StatusReport = 4,  // "sr"
};

std::u16string_view messageKindName(MessageKind kind);
// The kind a "type" column names; nothing for any other text (compared exactly).
std::optional<MessageKind> messageKindFromName(std::u16string_view name);

}  // namespace parlane
