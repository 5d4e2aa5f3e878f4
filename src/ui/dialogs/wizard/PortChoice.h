#pragma once

#include "engine/ModemPortInfo.h"

namespace parlane {

class SettingsStore;

inline constexpr int kRecentPorts = 20;

// Stores the port the wizard ends with: "modem.port", the recently used ports ("port.%d.name",
// "port.cur": a known port becomes current where it stands, a new one goes in front and moves the
// others one place down) and "modem.default", with the modem's line settings when it has them.
// Nothing is stored for an entry without a port name.
void storePortChoice(SettingsStore& settings, const ModemPortInfo& choice);

}  // namespace parlane
