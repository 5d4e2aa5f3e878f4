#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "engine/ModemPortInfo.h"
#include "engine/PortProbe.h"

namespace parlane {

class SettingsStore;

// Where the list of modems comes from: udev on a running system, a table in tests.
using ModemEnumerator = std::function<std::vector<ModemPortInfo>()>;

// Finds the modems for the port wizard: lists those the system knows and keeps those that answer.
// Reads "port.use_prefix" and "port.prefix" (the device path of a port) and "modem.init" (the
// probe's first command) when used. Every call blocks the calling thread; nothing is logged.
class PortDetector {
 public:
  explicit PortDetector(const SettingsStore& settings, ModemEnumerator enumerate = {},
                        PortProbe probe = PortProbe());

  // The known modems; with `onlyOpenable`, without those whose port can't be opened exclusively
  // now (held by another program, or gone).
  std::vector<ModemPortInfo> listModems(bool onlyOpenable) const;
  // The modem on the entry's port answers the two probe commands.
  bool probePort(const ModemPortInfo& info, const std::atomic<bool>* cancel = nullptr) const;
  // The entries whose probe succeeds, in list order. `cancel`, when set, ends the search early
  // (what is left is not probed and not kept).
  std::vector<ModemPortInfo> findResponding(const std::vector<ModemPortInfo>& list,
                                            const std::atomic<bool>* cancel = nullptr) const;

  // The device path of a port name.
  std::string devicePath(std::u16string_view port) const;

 private:
  const SettingsStore& settings_;
  ModemEnumerator enumerate_;
  PortProbe probe_;
};

}  // namespace parlane
