#pragma once

#include <cstdint>
#include <string>

namespace parlane {

// One modem the system knows, with the port it is attached to and, when the system keeps them,
// its default line settings.
struct ModemPortInfo {
  std::u16string friendlyName;
  // A name under /dev (ttyUSB0) or a full path.
  std::u16string port;
  int hasLineSettings = 0;
  std::uint32_t baudRate = 0;
  int parity = 0;  // 0 none, 1 odd, 2 even, 3 mark, 4 space
  int byteSize = 8;
  int stopBits = 0;  // 0 one, 1 one and a half, 2 two
  int parityCheck = 0;
};

}  // namespace parlane
