#include "ui/dialogs/wizard/PortChoice.h"

#include "core/settings/SettingsStore.h"

namespace parlane {

namespace {

constexpr char kRecentPattern[] = "port.%d.name";

}  // namespace

void storePortChoice(SettingsStore& settings, const ModemPortInfo& choice) {
  if (choice.port.empty()) return;
  settings.setString("modem.port", choice.port);

  bool known = false;
  for (int i = 0; i < kRecentPorts && !known; ++i) {
    if (settings.getStringByPattern(kRecentPattern, i) == choice.port) {
      settings.setInt("port.cur", i);
      known = true;
    }
  }
  if (!known) {
    for (int i = kRecentPorts - 1; i >= 0; --i) {
      const std::u16string name = settings.getStringByPattern(kRecentPattern, i);
      if (!name.empty()) settings.setStringByPattern(kRecentPattern, i + 1, name);
    }
    settings.setStringByPattern(kRecentPattern, 0, choice.port);
    settings.setInt("port.cur", 0);
  }

  settings.setInt("modem.default", choice.hasLineSettings != 0 ? 0 : 1);
  if (choice.hasLineSettings != 0) {
    settings.setInt("modem.baudrate", static_cast<int>(choice.baudRate));
    settings.setInt("modem.parity", choice.parity);
    settings.setInt("modem.stopbits", choice.stopBits);
    settings.setInt("modem.bytesize", choice.byteSize);
    settings.setInt("modem.fparity", choice.parityCheck);
  }
}

}  // namespace parlane
