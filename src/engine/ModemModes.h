#pragma once

namespace parlane {

class SettingsStore;

// "sender.send_mode": how messages are written to and read from the modem.
enum class SendMode : int {
  kPdu = 0,
  kText = 1,
  kModemDefault = 2,  // any other value: the modem's mode is left alone
};

// "sender.read_mode": how the modem makes arriving messages known.
enum class ReadMode : int {
  kNotifyIndex = 0,
  kNotifyContent = 1,
  kPolling = 2,
  kIgnore = 3,  // any other value as well
};

SendMode readSendMode(const SettingsStore& settings);
ReadMode readReadMode(const SettingsStore& settings);

}  // namespace parlane
