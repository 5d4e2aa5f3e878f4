#pragma once

#include <string>

namespace parlane {

// Where udev keeps one link per serial device named after the device itself, which stays the
// same when a USB modem is plugged in again (its ttyUSBn number does not).
inline constexpr const char* kSerialByIdFolder = "/dev/serial/by-id";

// The link in `byIdFolder` that leads to the same device as `devicePath`, or empty when there is
// none (no such folder, a device without a serial number, a pseudo-terminal).
std::string stableLinkFor(const std::string& devicePath,
                          const std::string& byIdFolder = kSerialByIdFolder);

}  // namespace parlane
