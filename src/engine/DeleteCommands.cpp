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
  return std::make_unique<ATCommandMessage>(std::u16string(line.begin(), line.end()));
}

std::unique_ptr<ATCommandMessage> deleteAllCommand(const SettingsStore& settings) {
  std::u16string command = settings.getString("sender.delete_all_cmd");
  if (command.empty()) command = u"AT+CMGD=1,4";
  return std::make_unique<ATCommandMessage>(command + u"\r\n");
}

}  // namespace parlane
