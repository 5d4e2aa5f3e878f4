#pragma once

#include <memory>
#include <string>
#include <variant>

#include "message/GenericMessage.h"
#include "transport/AsyncEvent.h"

namespace parlane {

// One item of the service queue: what happened, a flag (for 1028: 1 sent, 0 failed) and the
// owned payload: a message, a reply event, a text, or nothing.
struct ServiceItem {
  using Payload = std::variant<std::monostate, std::unique_ptr<GenericMessage>,
                               std::unique_ptr<AsyncEvent>, std::u16string>;

  int code = 0;
  int flag = 0;
  Payload payload;
};

}  // namespace parlane
