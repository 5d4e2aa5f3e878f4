#pragma once

#include <vector>

#include "engine/ModemPortInfo.h"

namespace parlane {

// The serial ports that sit on a device (USB serial, ACM, PCI and platform UARTs), as udev
// knows them, in udev's order. Linux keeps no default line settings for them.
std::vector<ModemPortInfo> listUdevModems();

}  // namespace parlane
