#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace parlane {

// The GSM 7-bit default alphabet and its escape extension (3GPP TS 23.038).

// Septet that introduces a character of the extension table.
inline constexpr std::uint8_t kGsmEscape = 0x1B;

// One character in the GSM alphabet: a septet of the default table, or, when `escaped`, the
// septet that follows kGsmEscape (two septets on the air).
struct GsmCode {
  std::uint8_t septet = 0;
  bool escaped = false;
};

// Default table, septet to UTF-16 (only the low 7 bits are used). The escape septet itself gives a
// space, as a receiver without the extension table shows it.
char16_t gsmDefaultToUnicode(std::uint8_t septet);

// The character of "escape + septet". A septet the extension table does not list gives the default
// table's character: the standard asks receivers to show that rather than drop it, so no text is
// lost. A second escape (reserved for a further table) gives a space.
char16_t gsmExtensionToUnicode(std::uint8_t septet);

// UTF-16 unit to its GSM code; nothing when the alphabet has no such character.
std::optional<GsmCode> unicodeToGsm(char16_t unit);

// Septets to UTF-16 with the escape rule applied. A lone escape at the very end gives nothing.
std::u16string gsmSeptetsToText(std::span<const std::uint8_t> septets);

// Septets read from packed octets: septet i takes the 7 bits starting at bit fillBits + 7 * i,
// low bits first. Yields every complete septet in the octets, but no more than maxSeptets.
// fillBits above 7 reads as 7 at most; the input is never read past its end.
std::vector<std::uint8_t> unpackSeptets(std::span<const std::uint8_t> octets, unsigned fillBits,
                                        std::size_t maxSeptets);

}  // namespace parlane
