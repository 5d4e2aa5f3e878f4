#pragma once

#include <cstdint>

namespace parlane {

// Type of number, as stored in messages and the outbox "dstton" column. The value goes straight
// into bits 4 to 6 of the type-of-address octet.
enum TonValue : std::int32_t {
  kTonUnknown = 0,
  kTonInternational = 1,
  kTonNational = 2,
  kTonSpecific = 3,
  kTonShortCode = 4,
};

// 0x81 for unknown, 0x91 international, 0xA1 national, 0xB1 specific, 0xC1 short code. Only the
// three TON bits of `ton` are used, so an odd configured value cannot spill into bit 7.
constexpr std::uint8_t typeOfAddressOctet(std::int32_t ton) {
  return static_cast<std::uint8_t>(0x81 | ((ton & 0x07) << 4));
}

}  // namespace parlane
