#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace parlane {

// The user text of an SMS-SUBMIT as the emulator receives it (service centre field first), in
// the GSM 7-bit alphabet, 8-bit data or UCS2; nothing for a unit that is not a complete SUBMIT.
std::optional<std::u16string> submitPduText(std::span<const std::uint8_t> octets);

}  // namespace parlane
