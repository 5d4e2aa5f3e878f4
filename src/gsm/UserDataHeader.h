#pragma once

#include <cstdint>
#include <span>

#include "gsm/NationalTables.h"

namespace parlane {

// The tables a received 7-bit text is to be read with, from the national language elements of its
// user data header (without the length octet): 0x25 names the locking shift table, 0x24 the single
// shift table, each with a one-octet language id. An element of another length, or one naming a
// table that does not exist, is passed over and leaves the default table; reading stops at an
// element that runs past the header.
GsmLanguages languagesOfHeader(std::span<const std::uint8_t> header);

}  // namespace parlane
