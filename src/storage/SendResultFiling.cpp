#include "storage/SendResultFiling.h"

#include "storage/GenericDatabase.h"
#include "storage/MessageRecords.h"
#include "transport/message/GenericMessage.h"

namespace parlane {

SendFiling fileSendResult(const GenericMessage& message, bool wasSent, int retries,
                          GenericDatabase& outbox, GenericDatabase& sent, GenericDatabase& failed) {
  SendFiling filing;
  GenericDatabase* folder = nullptr;
  DatabaseRecord record;
  if (wasSent) {
    filing.outcome = SendOutcome::Sent;
    folder = &sent;
    filing.id = sent.NewIdText();
    record = OutgoingRecord(message, StoreKind::Sent, filing.id);
  } else if (static_cast<unsigned>(message.attempts) < static_cast<unsigned>(retries)) {
    filing.outcome = SendOutcome::Requeued;
    folder = &outbox;
    filing.id = outbox.NewIdText();
    std::unique_ptr<GenericMessage> retry = message.clone();
    retry->attempts = message.attempts + 1;
    record = OutgoingRecord(*retry, StoreKind::Outbox, filing.id);
  } else {
    filing.outcome = SendOutcome::Failed;
    folder = &failed;
    filing.id = failed.NewIdText();
    record = OutgoingRecord(message, StoreKind::Failed, filing.id);
  }
  folder->Put(record);
  filing.saved = folder->Save();
  return filing;
}

}  // namespace parlane
