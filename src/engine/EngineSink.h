#pragma once

#include <memory>

#include "transport/AsyncEvent.h"
#include "transport/NoticeCodes.h"
#include "transport/NotificationSink.h"

namespace parlane {

// The flag of a 1028 record.
namespace sendFlag {
inline constexpr int kFailed = 0;
inline constexpr int kSent = 1;
// Cut short by Disconnect or Exit: no attempt of the message's own.
inline constexpr int kCancelled = 2;
}  // namespace sendFlag

// Where the engine's results go: {code, flag, owned payload}. Messages travel through
// NotificationSink::notify; replies to commands carry a copy of the reply event instead. The
// service queue implements it; tests record. Called from the engine's threads.
class EngineSink : public NotificationSink {
 public:
  virtual void notifyReply(int code, int flag, std::unique_ptr<AsyncEvent> reply) = 0;
};

}  // namespace parlane
