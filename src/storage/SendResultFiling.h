#pragma once

#include <string>

namespace parlane {

class GenericDatabase;
class GenericMessage;

enum class SendOutcome {
  Sent,      // stored in "sent" with the modem's reference
  Requeued,  // written back into the outbox with one more attempt
  Failed,    // out of attempts: stored in "failed"
};

struct SendFiling {
  SendOutcome outcome = SendOutcome::Sent;
  // The identifier of the new record in the folder it went to; for Requeued the outbox id to
  // queue again.
  std::u16string id;
  // Result of saving that folder (0, or -1 with the record kept in memory for the next save).
  int saved = 0;
};

// A rule of the service layer, kept beside the folders until service/ exists.
// Files a message after a sending attempt: success goes to "sent"; a failure goes back into the
// outbox while its attempts are below `retries` (compared unsigned), else to "failed". Each
// record gets a fresh identifier of its folder, and that folder is saved.
SendFiling fileSendResult(const GenericMessage& message, bool wasSent, int retries,
                          GenericDatabase& outbox, GenericDatabase& sent, GenericDatabase& failed);

}  // namespace parlane
