#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace parlane {

// What an incoming WAP Push (SI or SL) points to.
struct PushContent {
  std::u16string url;
  std::u16string text;  // the SI indication text; empty for SL
};

// Reads the user data of a port-addressed message (WSP push header, WBXML SI or SL body).
// Nothing when it is not an SI/SL push or is cut short before its href or indication ends.
// Unknown tokens are skipped; the input is never read past its end.
std::optional<PushContent> decodePush(std::span<const std::uint8_t> userData);
// The same for joined 8-bit parts held as text, one UTF-16 unit per octet (its low octet counts).
std::optional<PushContent> decodePush(std::u16string_view octetUnits);

}  // namespace parlane
