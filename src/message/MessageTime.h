#pragma once

#include <cstdint>

#include "core/util/Clock.h"

namespace parlane {

// Message times: whole seconds since 1970, UTC, kept in 32 bits as the folders store them.
using MessageTime = std::int32_t;

inline MessageTime messageTimeNow(const Clock& clock) {
  return static_cast<MessageTime>(clock.wallSeconds());
}

}  // namespace parlane
