#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace parlane {

// Why a message was not taken into the outbox.
enum class SubmitRefusal {
  BadRecipient,  // the number is no number (40196 says so)
  NotAllowed,    // "numbers.allow" / "numbers.deny" refuse the number: the whole batch stays out
  NotSaved,      // the outbox file could not be written
  Withheld,      // another message of an all-or-nothing batch was refused
};

// A number in national format with "ton_warning" 1 (40216): taken, but the user is warned.
struct SubmitWarning {
  std::size_t index = 0;
  std::u16string text;
};

struct RefusedMessage {
  std::size_t index = 0;  // in the batch handed in
  SubmitRefusal why = SubmitRefusal::BadRecipient;
  std::u16string reason;  // the text for the user or the log
};

// What became of a batch handed to the outbox. A message is taken only once its record is saved
// in the outbox file; a refused one left no record behind, so the caller still owns the only
// copy (a spool file, a folder record, a dialog's text).
struct SubmitResult {
  std::vector<std::u16string> ids;  // outbox record ids of the messages taken, in batch order
  std::vector<RefusedMessage> refused;
  std::vector<SubmitWarning> warnings;

  std::size_t taken() const { return ids.size(); }
  bool allTaken() const { return refused.empty(); }
  bool refusedFor(SubmitRefusal why) const {
    for (const RefusedMessage& message : refused) {
      if (message.why == why) return true;
    }
    return false;
  }
};

// How a batch goes in: each message on its own (the send dialogs), or all of them or none (the
// messages of one spool file, which leaves the folder whole or not at all).
enum class SubmitBatch { EachOnItsOwn, AllOrNothing };

}  // namespace parlane
