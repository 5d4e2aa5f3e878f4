#pragma once

#include <optional>
#include <string>

namespace parlane {

class GenericDatabase;
class GenericMessage;

enum class SendOutcome {
  Sent,      // stored in "sent" with the modem's reference
  Requeued,  // written back into the outbox with one more attempt
  Failed,    // out of attempts: stored in "failed"
};

struct SendRecording {
  SendOutcome outcome = SendOutcome::Sent;
  // The new record's identifier in the folder it went to; for Requeued the outbox id to queue.
  std::u16string id;
  // Whether that folder was saved; when not, the outbox record is left where it was.
  bool saved = true;
};

// Records the result of a sending attempt: success goes to "sent"; a failure goes back into the
// outbox while its attempts are below `retries` (compared unsigned), else to "failed". Each new
// record gets a fresh identifier of its folder. The outbox record the message came from
// (`outboxId`) is removed only once the new record is saved: a retry replaces it in one save of
// the outbox, "sent" and "failed" are saved before the outbox. So the message is in one folder
// or another at every moment.
SendRecording recordSendResult(const GenericMessage& message, bool wasSent, int retries,
                               const std::optional<std::u16string>& outboxId,
                               GenericDatabase& outbox, GenericDatabase& sent,
                               GenericDatabase& failed);

}  // namespace parlane
