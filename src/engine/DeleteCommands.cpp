#include "engine/DeleteCommands.h"

#include <string>

#include "core/settings/SettingsStore.h"

namespace parlane {

DeleteMode readDeleteMode(const SettingsStore& settings) {
  switch (settings.getInt("sender.delete_mode")) {
    case 1:
      return DeleteMode::kEachMessage;
    case 2:
      return DeleteMode::kAllAfterCount;
    default:
      return DeleteMode::kNever;
  }
}

std::unique_ptr<ATCommandMessage> deleteOneCommand(int storageIndex) {
  const std::string line = "AT+CMGD=" + std::to_string(storageIndex) + "\r\n";
  auto command = std::make_unique<ATCommandMessage>(std::u16string(line.begin(), line.end()));
  command->deletes.index = storageIndex;
  return command;
}

std::unique_ptr<ATCommandMessage> deleteReadMessageCommand(ModemSlot slot) {
  auto command = deleteOneCommand(slot.index);
  command->deletes = slot;
  command->checksRead = true;
  return command;
}

std::unique_ptr<ATCommandMessage> deleteAllCommand(const SettingsStore& settings) {
  std::u16string command = settings.getString("sender.delete_all_cmd");
  if (command.empty()) command = u"AT+CMGD=1,4";
  auto message = std::make_unique<ATCommandMessage>(command + u"\r\n");
  message->deletesAll = true;
  return message;
}

}  // namespace parlane
