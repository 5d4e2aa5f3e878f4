#pragma once

#include <memory>

#include "message/ATCommandMessage.h"

namespace parlane {

class SettingsStore;

// "sender.delete_mode": when modem storage is freed.
enum class DeleteMode : int {
  kNever = 0,
  kEachMessage = 1,    // each message by its storage index once handled
  kAllAfterCount = 2,  // the whole storage after every "sender.delete_after" messages
};

DeleteMode readDeleteMode(const SettingsStore& settings);

// "AT+CMGD=<index>\r\n", written whatever happened to the slot meanwhile (the user's choice).
std::unique_ptr<ATCommandMessage> deleteOneCommand(int storageIndex);
// The same for the slot a received message was read from: left out when the slot was freed since.
std::unique_ptr<ATCommandMessage> deleteReadMessageCommand(ModemSlot slot);
// "sender.delete_all_cmd" followed by "\r\n", or "AT+CMGD=1,4\r\n" when that is empty.
std::unique_ptr<ATCommandMessage> deleteAllCommand(const SettingsStore& settings);

}  // namespace parlane
