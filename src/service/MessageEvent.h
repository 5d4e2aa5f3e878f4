#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace parlane {

class GenericMessage;

// What an event command is told about one message, as its environment variables.
struct MessageEvent {
  // Call: an incoming call; only the number (the caller's, empty when withheld), the time and the
  // type "call" are set.
  enum class Kind { Received, Sent, Failed, Report, Call };

  Kind kind = Kind::Received;
  std::string id;      // the message number ("uniqueid"), the same in every folder
  std::string number;  // sender of a received message, recipient otherwise
  std::string text;
  std::string time;  // ISO 8601, UTC
  std::string type;  // sms, push, ussd, sr
  std::string url;
  std::string reference;  // the modem's message reference (sent, report)
  std::string custom;     // the producer's field (the spool file name for spooled messages)
  std::string status;     // report: "delivered" or "not delivered"; failed: the reason
  std::string reason;     // failed: why (for the HTTP callbacks; no variable of its own)

  // The event of a message as the folders keep it.
  static MessageEvent of(Kind kind, const GenericMessage& message);
  static const char* kindName(Kind kind);

  // Each value is cut to this many bytes; PARLANE_TRUNCATED=1 then says so.
  static constexpr std::size_t kMaxVariableBytes = 64 * 1024;

  // "NAME=value" for PARLANE_EVENT, PARLANE_ID, ..., PARLANE_INSTANCE.
  std::vector<std::string> environment(int instance) const;
};

}  // namespace parlane
