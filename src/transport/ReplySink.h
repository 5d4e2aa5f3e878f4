#pragma once

#include <memory>

#include "transport/AsyncEvent.h"
#include "transport/ReplySlot.h"

namespace parlane {

// Where the reply parser delivers: the channel's six reply queues, or a test's recorder.
class ReplySink {
 public:
  virtual ~ReplySink() = default;
  // Whether `slot` has a queue; no event is made for a slot without one.
  virtual bool accepts(ReplySlot slot) const = 0;
  virtual void deliver(ReplySlot slot, std::unique_ptr<AsyncEvent> event) = 0;
};

}  // namespace parlane
