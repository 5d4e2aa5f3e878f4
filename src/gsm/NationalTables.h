#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace parlane {

// One table of the GSM 7-bit alphabet (3GPP TS 23.038): the UTF-16 unit of each septet, 0 where
// the table assigns nothing. Position 0x1B holds the escape itself, U+001B.
using SeptetTable = std::array<char16_t, 128>;

// Language ids of the national tables run from 1 (Turkish) to 13 (Urdu); 0 is the default
// alphabet with its extension table.
inline constexpr int kLastNationalLanguage = 13;

// User data header elements that select the tables, each with a one-octet language id.
inline constexpr std::uint8_t kSingleShiftElement = 0x24;
inline constexpr std::uint8_t kLockingShiftElement = 0x25;

// The locking shift table of a language (the default alphabet for 0); nullptr for an unknown id
// and for a language without one (Spanish).
const SeptetTable* lockingShiftTable(int language);
// The single shift table of a language (the default extension table for 0), the one that reads
// the septet after an escape; nullptr for an unknown id.
const SeptetTable* singleShiftTable(int language);
// "Turkish", ..., "Default" for 0; empty for an unknown id.
std::string_view nationalLanguageName(int language);

// The tables a 7-bit text is written with: 0 is the default one.
struct GsmLanguages {
  int locking = 0;
  int shift = 0;

  bool isDefault() const { return locking == 0 && shift == 0; }
  friend bool operator==(const GsmLanguages&, const GsmLanguages&) = default;
};

}  // namespace parlane
