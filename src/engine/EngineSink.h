#pragma once

#include <memory>

#include "transport/AsyncEvent.h"
#include "transport/NotificationSink.h"

namespace parlane {

// The numbers of the records the engine hands to the service thread; the same numbers are
// posted to the main window.
namespace notice {
inline constexpr int kIncoming = 1026;  // a message or status report arrived
inline constexpr int kReply = 1027;     // a reply line (flag 1) or an error (flag 0)
// Added to the flag of kReply when the reply answers a command that reads the modem memory: only
// those drive a listing, so a rejected send in the middle of one neither ends it nor reads as a
// memory error.
inline constexpr int kReplyToMemoryRead = 2;
inline constexpr int kHandled = 1028;  // a message or USSD request was sent (1) or failed (0)
inline constexpr int kFound = 1029;    // a message found while listing the memory (flag 1: unread)
inline constexpr int kNoticeOnly = 1030;     // nothing to carry, only a wake-up
inline constexpr int kSenderStarted = 1031;  // posted to the window once the sending thread runs
inline constexpr int kConnectRequest = 1033;
}  // namespace notice

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
