#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace parlane {

// Code page 0: one octet per UTF-16 unit of the same value, no translation.
inline constexpr std::uint32_t kCodePageOctets = 0;
inline constexpr std::uint32_t kCodePageUtf8 = 65001;

// UTF-16 to octets in a Windows code page. Code page 0 keeps the low octet of every unit; 65001 is
// UTF-8; others go through iconv. A conversion the code page cannot do is retried in UTF-8 (the
// system's "ANSI" code page here); nothing when that fails too or the code page is unknown.
std::optional<std::string> wideToNarrow(std::u16string_view text, std::uint32_t codePage);

// Octets in a Windows code page to UTF-16; nothing when the code page is unknown or the octets are
// not valid in it. Code page 0 and 65001 always succeed (bad UTF-8 becomes U+FFFD).
std::optional<std::u16string> narrowToWide(std::string_view octets, std::uint32_t codePage);

// Descriptions may be indirect "@module,-id" references to a resource; there are no resource
// modules here, so such a reference resolves to empty text. Other text is returned as it is.
std::u16string resolveIndirectString(std::u16string_view text);

}  // namespace parlane
