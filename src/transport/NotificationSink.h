#pragma once

#include <memory>

#include "message/GenericMessage.h"

namespace parlane {

// Where results for the service thread go: {code, flag, owned payload}, e.g. 1026 for a message
// that arrived. The service thread's queue implements it; tests record.
class NotificationSink {
 public:
  virtual ~NotificationSink() = default;
  virtual void notify(int code, int flag, std::unique_ptr<GenericMessage> payload) = 0;
};

}  // namespace parlane
