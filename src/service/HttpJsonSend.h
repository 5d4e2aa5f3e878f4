#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/util/Clock.h"

namespace parlane {

class GenericMessage;

// What the body of POST /api/v1/messages becomes: one message per receiver, or why it is refused.
struct JsonSendMapping {
  std::vector<std::unique_ptr<GenericMessage>> messages;
  std::string error;  // empty: mapped
};

// Reads {"to": [..] or "..", "text": "..", "flash": bool, "report": bool, "validity": minutes,
// "sendAfter": time, "expires": time} (times in ISO 8601, or seconds from now as a string);
// any other field is refused by its name. The numbers are checked as the spool checks them.
JsonSendMapping mapJsonSend(std::string_view body, std::size_t maxRecipients,
                            const Clock& clock = Clock::system());

}  // namespace parlane
