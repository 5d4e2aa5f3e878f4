#pragma once

#include <cstdint>
#include <ctime>

namespace parlane {

// Message times: whole seconds since 1970, UTC, kept in 32 bits as the folders store them.
using MessageTime = std::int32_t;

inline MessageTime MessageTimeNow() { return static_cast<MessageTime>(std::time(nullptr)); }

}  // namespace parlane
