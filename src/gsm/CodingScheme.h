#pragma once

#include <cstdint>

#include "gsm/SmsCoding.h"

namespace parlane {

// The alphabet of a data coding scheme (TP-DCS), read as the receiving side reads it.
SmsCoding codingOf(std::uint8_t dcs);

}  // namespace parlane
