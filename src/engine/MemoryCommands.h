#pragma once

#include <memory>
#include <string_view>

#include "message/ATCommandMessage.h"

namespace parlane {

// The commands that read the modem memory, queued on the sending thread.

// "AT+CPMS=" with the storages m1[, m2[, m3]] in double quotes; null when m1 is empty. m3 is only
// named after m2.
std::unique_ptr<ATCommandMessage> storageSelectionCommand(std::u16string_view m1,
                                                          std::u16string_view m2,
                                                          std::u16string_view m3);
// "AT+CMGR=<index>\r\n", carrying its index.
std::unique_ptr<ATCommandMessage> readMessageCommand(int index);
// The listing of the messages of status 0..4 (unread, read, unsent, sent, all): the status name
// in text mode (null for any other status), the number in PDU mode.
std::unique_ptr<ATCommandMessage> listMessagesCommand(int status, bool textMode);

// True for the commands above: a listing, a read or the storage selection that comes before them.
bool readsModemMemory(std::u16string_view command);

}  // namespace parlane
