#pragma once

#include <memory>
#include <string>

#include "core/util/Clock.h"
#include "storage/DatabaseRecord.h"
#include "storage/FolderSchema.h"

namespace parlane {

class GenericMessage;

// The record of an outgoing message (sms, push or ussd) in the layout of the outbox, sent or
// failed folder, under the given identifier. Text fields are flattened and the content escaped,
// so that no field can split the line.
DatabaseRecord outgoingRecord(const GenericMessage& message, StoreKind folder,
                              const std::u16string& id);

// The inbox record of a received message; "handled" is "1" or "0", "destination" stays empty.
DatabaseRecord incomingRecord(const GenericMessage& message, bool handled,
                              const std::u16string& id);

// The message a record of an outgoing folder stands for, by its "type" column ("sms", "push",
// "ussd"); null for any other type. Keeps the record's message id; "validity", when positive,
// sets the expiry from the creation time, which is read from `clock`.
std::unique_ptr<GenericMessage> messageFromRecord(const DatabaseRecord& record, StoreKind folder,
                                                  const Clock& clock = Clock::system());

}  // namespace parlane
