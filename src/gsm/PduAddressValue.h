#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace parlane {

// An address field's value: `address` is the type-of-address octet followed by the digit
// octets, `semiOctets` the length octet that came before them. Alphanumeric addresses (type of
// number 5) are packed GSM 7-bit text; any other address gives its decimal digits, low nibble
// first, with fillers and the star and hash codes dropped, and a "+" in front when the type of
// number is international. Fewer than two octets give an empty string.
std::u16string decodeAddressValue(std::span<const std::uint8_t> address, unsigned semiOctets);

}  // namespace parlane
