#include "engine/PortDetector.h"

#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"
#include "engine/UdevModems.h"
#include "transport/PortPath.h"

namespace parlane {

PortDetector::PortDetector(const SettingsStore& settings, ModemEnumerator enumerate,
                           PortProbe probe)
    : settings_(settings),
      enumerate_(enumerate ? std::move(enumerate) : ModemEnumerator(listUdevModems)),
      probe_(probe) {}

std::string PortDetector::devicePath(std::u16string_view port) const {
  return portPath(port, settings_.getInt("port.use_prefix") != 0,
                  settings_.getString("port.prefix"));
}

std::vector<ModemPortInfo> PortDetector::listModems(bool onlyOpenable) const {
  std::vector<ModemPortInfo> modems;
  for (ModemPortInfo& info : enumerate_()) {
    if (info.port.empty()) continue;
    if (onlyOpenable && !PortProbe::canOpen(devicePath(info.port))) continue;
    modems.push_back(std::move(info));
  }
  return modems;
}

bool PortDetector::probePort(const ModemPortInfo& info, const std::atomic<bool>* cancel) const {
  if (info.port.empty()) return false;
  return probe_.probe(devicePath(info.port), info, toUtf8(settings_.getString("modem.init")),
                      cancel);
}

std::vector<ModemPortInfo> PortDetector::findResponding(const std::vector<ModemPortInfo>& list,
                                                        const std::atomic<bool>* cancel) const {
  std::vector<ModemPortInfo> responding;
  for (const ModemPortInfo& info : list) {
    if (cancel != nullptr && cancel->load()) break;
    if (probePort(info, cancel)) responding.push_back(info);
  }
  return responding;
}

}  // namespace parlane
