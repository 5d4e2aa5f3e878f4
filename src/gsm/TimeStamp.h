#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <span>
#include <string_view>

namespace parlane {

// A service centre time stamp: seven semi-octet-swapped BCD octets (year, month, day, hour,
// minute, second, zone) at `position`, read as local time in the process time zone. The zone
// octet is read past and ignored. Fails unless the octet after the stamp exists too; on success
// the position moves on by seven.
std::optional<std::time_t> decodeTimeStamp(std::span<const std::uint8_t> octets,
                                           std::size_t& position);

// The text-mode form "yy/MM/dd,hh:mm:ss" with an optional zone after it, as local time; 0 when
// fewer than six fields can be read.
std::time_t parseTextTimeStamp(std::string_view text);
std::time_t parseTextTimeStamp(std::u16string_view text);

}  // namespace parlane
