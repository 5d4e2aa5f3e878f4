#pragma once

#include <cstdint>

namespace parlane {

// Alphabet of the user data; the values are the TP-DCS values that go on the wire.
enum class SmsCoding : std::int32_t {
  Gsm7 = 0,   // GSM 7-bit default alphabet
  Data8 = 4,  // 8-bit data
  Ucs2 = 8,   // UCS2, big-endian
};

}  // namespace parlane
