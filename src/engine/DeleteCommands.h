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

// "AT+CMGD=<index>\r\n".
std::unique_ptr<ATCommandMessage> deleteOneCommand(int storageIndex);
// "sender.delete_all_cmd" followed by "\r\n", or "AT+CMGD=1,4\r\n" when that is empty.
std::unique_ptr<ATCommandMessage> deleteAllCommand(const SettingsStore& settings);

}  // namespace parlane
