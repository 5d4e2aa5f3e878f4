#include "engine/ModemModes.h"

#include "core/settings/SettingsStore.h"

namespace parlane {

SendMode readSendMode(const SettingsStore& settings) {
  switch (settings.getInt("sender.send_mode")) {
    case 0:
      return SendMode::kPdu;
    case 1:
      return SendMode::kText;
    default:
      return SendMode::kModemDefault;
  }
}

ReadMode readReadMode(const SettingsStore& settings) {
  switch (settings.getInt("sender.read_mode")) {
    case 0:
      return ReadMode::kNotifyIndex;
    case 1:
      return ReadMode::kNotifyContent;
    case 2:
      return ReadMode::kPolling;
    default:
      return ReadMode::kIgnore;
  }
}

}  // namespace parlane
