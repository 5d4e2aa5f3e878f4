#pragma once

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "gsm/ReceivedPdu.h"
#include "message/GenericMessage.h"

namespace parlane {

// The message a complete set of received parts makes (in part order): a StatusReport for a
// single status report part, a PushMessage when the first part is port addressed and the joined
// data read as a WAP Push, else an SMSMessage with the joined text. The message carries the
// service-centre time as both its creation time and its time, so that the same stored message
// read twice compares equal, and the memory indexes of the parts that were stored.
std::unique_ptr<GenericMessage> assembleMessage(const std::vector<ReceivedPdu>& parts);

// The message the parts of an incomplete message make (in part order, all of one message): each
// missing part is "[...]" in the text, and its number (from 1) is added to `missing`. Data that
// would be a WAP Push can't be read with parts missing and is kept as text.
std::unique_ptr<GenericMessage> assembleWithGaps(const std::vector<ReceivedPdu>& parts,
                                                 std::vector<int>& missing);

// A message read in text mode: sender and time from its header line, the body line as text.
// `slot`: where it was stored, index -1 when it was not.
std::unique_ptr<GenericMessage> textModeMessage(const std::u16string& originator,
                                                std::time_t timestamp, const std::u16string& body,
                                                ModemSlot slot);

}  // namespace parlane
