#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace parlane {

// Hexadecimal text (either case, two digits per octet, high digit first) to octets. A lone last
// digit or any character that is not a hexadecimal digit gives nothing: such a line is damaged,
// and reading it as zeros would turn it into a different message.
std::optional<std::vector<std::uint8_t>> hexToOctets(std::string_view hex);
std::optional<std::vector<std::uint8_t>> hexToOctets(std::u16string_view hex);

// Octets as uppercase hexadecimal, two digits per octet, as the modem expects them.
std::string octetsToHex(std::span<const std::uint8_t> octets);

}  // namespace parlane
