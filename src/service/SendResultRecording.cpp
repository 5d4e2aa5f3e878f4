#include "service/SendResultRecording.h"

#include "core/log/Logger.h"
#include "core/util/Utf.h"
#include "message/GenericMessage.h"
#include "storage/FolderSchema.h"
#include "storage/GenericDatabase.h"
#include "storage/MessageRecords.h"

namespace parlane {

namespace {

void logUnsaved(const GenericDatabase& folder) {
  Logger::log(3, u"Can't save the folder " + folder.name() +
                     u"; the message stays in the outbox until it can be saved");
}

}  // namespace

SendRecording recordSendResult(const GenericMessage& message, bool wasSent, int retries,
                               const std::optional<std::u16string>& outboxId,
                               GenericDatabase& outbox, GenericDatabase& sent,
                               GenericDatabase& failed) {
  SendRecording recording;
  if (!wasSent && static_cast<unsigned>(message.attempts) < static_cast<unsigned>(retries)) {
    recording.outcome = SendOutcome::Requeued;
    recording.id = outbox.newIdText();
    std::unique_ptr<GenericMessage> retry = message.clone();
    retry->attempts = message.attempts + 1;
    outbox.put(outgoingRecord(*retry, StoreKind::Outbox, recording.id));
    if (outboxId) outbox.remove(*outboxId);
    recording.saved = outbox.save() == 0;
    if (!recording.saved) logUnsaved(outbox);
    return recording;
  }

  recording.outcome = wasSent ? SendOutcome::Sent : SendOutcome::Failed;
  GenericDatabase& folder = wasSent ? sent : failed;
  recording.id = folder.newIdText();
  folder.put(outgoingRecord(message, wasSent ? StoreKind::Sent : StoreKind::Failed, recording.id));
  recording.saved = folder.save() == 0;
  if (!recording.saved) {
    logUnsaved(folder);
    return recording;
  }
  if (outboxId) {
    // The record in "sent" or "failed" is on the disk: should a power cut lose this removal,
    // start-up finds the message there and takes it out of the outbox again. So the removal
    // needs no flush of its own, and a message costs one flush instead of two.
    outbox.remove(*outboxId);
    if (outbox.saveWithoutFlush() != 0) Logger::log(3, u"Can't save the folder " + outbox.name());
  } else if (wasSent) {
    // A result that came after the message was given up: a message filed as failed meanwhile was
    // sent after all, and a message is in one folder only.
    const auto column = static_cast<unsigned>(columnIndex(StoreKind::Failed, u"uniqueid"));
    DatabaseRecord filed;
    if (failed.findFirstEqual(column, fromAscii(std::to_string(message.uniqueid)), filed) &&
        !filed.empty()) {
      failed.remove(filed[0]);
      if (failed.save() != 0) Logger::log(3, u"Can't save the folder " + failed.name());
    }
  }
  return recording;
}

}  // namespace parlane
