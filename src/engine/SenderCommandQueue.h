#pragma once

#include "engine/CommandQueue.h"
#include "engine/SmsSender.h"

namespace parlane {

// The sending thread's queue seen as a CommandQueue by the initializer and the receiver.
class SenderCommandQueue : public CommandQueue {
 public:
  explicit SenderCommandQueue(SmsSender& sender) : sender_(sender) {}

  void queueCommand(std::unique_ptr<ATCommandMessage> command) override {
    sender_.enqueue(std::move(command));
  }
  bool isCommandQueued(std::u16string_view text) const override { return sender_.isQueued(text); }

 private:
  SmsSender& sender_;
};

}  // namespace parlane
