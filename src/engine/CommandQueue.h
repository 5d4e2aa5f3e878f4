#pragma once

#include <memory>
#include <string_view>

#include "message/ATCommandMessage.h"

namespace parlane {

// Where the initializer and the receiver put the commands they want written: the sending
// thread's queue, which alone writes to the modem. Commands carry their own "\r\n".
class CommandQueue {
 public:
  virtual ~CommandQueue() = default;
  virtual void queueCommand(std::unique_ptr<ATCommandMessage> command) = 0;
  // Whether a command with exactly this text is waiting to be written.
  virtual bool isCommandQueued(std::u16string_view text) const = 0;
};

}  // namespace parlane
