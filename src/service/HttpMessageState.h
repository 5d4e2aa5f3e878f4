#pragma once

#include <optional>
#include <string>

namespace parlane {

class MessageStores;

// Where a message handed in through the HTTP door is now, found by the id kept in its "custom"
// field.
struct MessageState {
  std::string folder;  // "outbox", "sent" or "failed"
  std::string state;   // queued, sent, delivered, not delivered, failed
  std::string to;
  std::string reference;  // the modem's message reference, once sent
  std::string reason;
};

std::optional<MessageState> findMessageState(MessageStores& stores, const std::string& id);

}  // namespace parlane
