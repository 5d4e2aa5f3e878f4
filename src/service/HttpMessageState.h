#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace parlane {

class MessageOutcomes;
class MessageStores;

// Where a message handed in through the HTTP door is now, found by the id kept in its "custom"
// field.
struct MessageState {
  std::string folder;  // "outbox", "sent" or "failed"
  std::string state;   // queued, scheduled, sent, delivered, not delivered, failed
  std::string to;
  std::string reference;  // the modem's message reference, once sent
  std::string reason;     // failed: why
  long long time = 0;     // failed, delivered, not delivered: when (seconds since 1970); 0 unknown
  std::string sendAfter;  // ISO 8601, UTC: when a scheduled message is due
};

// `outcomes` (when given) knows the reasons and report times of this run. `now`: seconds since
// 1970; a queued message held back until later is "scheduled".
std::optional<MessageState> findMessageState(MessageStores& stores, const std::string& id,
                                             const MessageOutcomes* outcomes = nullptr,
                                             std::int64_t now = std::time(nullptr));

}  // namespace parlane
