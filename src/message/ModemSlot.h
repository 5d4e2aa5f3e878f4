#pragma once

#include <cstdint>

namespace parlane {

// Where a received message sits in the modem memory and when it was read from there, counted in
// the deletes the sender had written by then. A modem reuses a freed slot at once, so a delete of
// the slot written after the read means the slot may hold another message now.
struct ModemSlot {
  std::int32_t index = -1;
  std::uint64_t readAt = 0;

  bool operator==(const ModemSlot&) const = default;
};

}  // namespace parlane
