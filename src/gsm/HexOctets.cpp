#include "gsm/HexOctets.h"

#include "core/util/HexDigit.h"

namespace parlane {

namespace {

template <typename Char>
std::optional<std::vector<std::uint8_t>> hexToOctetsOf(std::basic_string_view<Char> hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> octets(hex.size() / 2);
  for (std::size_t i = 0; i < octets.size(); ++i) {
    const int high = hexDigitValue(static_cast<char32_t>(hex[2 * i]));
    const int low = hexDigitValue(static_cast<char32_t>(hex[2 * i + 1]));
    if (high < 0 || low < 0) return std::nullopt;
    octets[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return octets;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> hexToOctets(std::string_view hex) {
  return hexToOctetsOf(hex);
}

std::optional<std::vector<std::uint8_t>> hexToOctets(std::u16string_view hex) {
  return hexToOctetsOf(hex);
}

std::string octetsToHex(std::span<const std::uint8_t> octets) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex(octets.size() * 2, '0');
  for (std::size_t i = 0; i < octets.size(); ++i) {
    hex[2 * i] = kDigits[octets[i] >> 4];
    hex[2 * i + 1] = kDigits[octets[i] & 0x0F];
  }
  return hex;
}

}  // namespace parlane
