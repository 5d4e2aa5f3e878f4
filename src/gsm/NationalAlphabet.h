#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "gsm/NationalTables.h"

namespace parlane {

// The GSM 7-bit alphabet read and written through a locking shift table and a single shift table
// (the default ones, or those of a national language). An id without such a table reads as 0.

// Septets to UTF-16. The escape takes the septet after it from the single shift table; where that
// table has nothing, the receiver shows the locking table's character of the same septet, and a
// second escape (reserved for a further table) shows a space. A septet the locking table leaves
// unassigned gives U+FFFD, so that a lost character shows. A lone escape at the end gives nothing.
std::u16string septetsToText(std::span<const std::uint8_t> septets, GsmLanguages languages);

// UTF-16 to septets: a character of the locking table takes one septet, one found only in the
// single shift table an escape and its septet; nothing when a character is in neither table.
std::optional<std::vector<std::uint8_t>> textToSeptets(std::u16string_view text,
                                                       GsmLanguages languages);

}  // namespace parlane
