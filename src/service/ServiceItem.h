#pragma once

#include <memory>
#include <string>
#include <variant>

#include "message/GenericMessage.h"
#include "transport/AsyncEvent.h"

namespace parlane {

// The numbers of the service queue items (the window-message numbers WM_USER+2 to WM_USER+9);
// the engine's own (1026 to 1031) are in engine/EngineSink.h.
namespace serviceCode {
inline constexpr int kIncoming = 1026;
inline constexpr int kReply = 1027;
inline constexpr int kHandled = 1028;
inline constexpr int kFound = 1029;
inline constexpr int kNoticeOnly = 1030;
inline constexpr int kConnect = 1033;
}  // namespace serviceCode

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
