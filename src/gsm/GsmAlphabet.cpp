#include "gsm/GsmAlphabet.h"

#include <array>

namespace parlane {

namespace {

// Septet 0x00 to 0x7F of the default table.
constexpr std::array<char16_t, 128> kDefaultTable = {
    0x0040, 0x00A3, 0x0024, 0x00A5, 0x00E8, 0x00E9, 0x00F9, 0x00EC,  // 0x00
    0x00F2, 0x00C7, 0x000A, 0x00D8, 0x00F8, 0x000D, 0x00C5, 0x00E5,  // 0x08
    0x0394, 0x005F, 0x03A6, 0x0393, 0x039B, 0x03A9, 0x03A0, 0x03A8,  // 0x10
    0x03A3, 0x0398, 0x039E, 0x0020, 0x00C6, 0x00E6, 0x00DF, 0x00C9,  // 0x18 (0x1B: escape)
    0x0020, 0x0021, 0x0022, 0x0023, 0x00A4, 0x0025, 0x0026, 0x0027,  // 0x20
    0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F,  // 0x28
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,  // 0x30
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F,  // 0x38
    0x00A1, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047,  // 0x40
    0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F,  // 0x48
    0x0050, 0x0051, 0x0052, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057,  // 0x50
    0x0058, 0x0059, 0x005A, 0x00C4, 0x00D6, 0x00D1, 0x00DC, 0x00A7,  // 0x58
    0x00BF, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067,  // 0x60
    0x0068, 0x0069, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F,  // 0x68
    0x0070, 0x0071, 0x0072, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077,  // 0x70
    0x0078, 0x0079, 0x007A, 0x00E4, 0x00F6, 0x00F1, 0x00FC, 0x00E0,  // 0x78
};

struct ExtensionEntry {
  std::uint8_t septet;
  char16_t unit;
};

constexpr std::array<ExtensionEntry, 10> kExtensionTable = {{
    {0x0A, 0x000C},  // form feed
    {0x14, 0x005E},  // ^
    {0x28, 0x007B},  // {
    {0x29, 0x007D},  // }
    {0x2F, 0x005C},  // backslash
    {0x3C, 0x005B},  // [
    {0x3D, 0x007E},  // ~
    {0x3E, 0x005D},  // ]
    {0x40, 0x007C},  // |
    {0x65, 0x20AC},  // euro sign
}};

// Reverse lookup for U+0000..U+00FF: the code + 1 (0 = none), escaped codes with 0x100 set.
struct ReverseTable {
  std::array<std::uint16_t, 256> latin{};

  constexpr ReverseTable() {
    for (std::size_t s = 0; s < kDefaultTable.size(); ++s) {
      if (s == kGsmEscape) continue;
      const char16_t u = kDefaultTable[s];
      if (u < latin.size()) latin[u] = static_cast<std::uint16_t>(s + 1);
    }
    for (const auto& e : kExtensionTable) {
      if (e.unit < latin.size()) latin[e.unit] = static_cast<std::uint16_t>(0x100 | (e.septet + 1));
    }
  }
};

constexpr ReverseTable kReverse;

}  // namespace

char16_t gsmDefaultToUnicode(std::uint8_t septet) { return kDefaultTable[septet & 0x7F]; }

char16_t gsmExtensionToUnicode(std::uint8_t septet) {
  septet &= 0x7F;
  for (const auto& e : kExtensionTable) {
    if (e.septet == septet) return e.unit;
  }
  return kDefaultTable[septet];  // also a space for a second escape
}

std::optional<GsmCode> unicodeToGsm(char16_t unit) {
  if (unit < kReverse.latin.size()) {
    const std::uint16_t code = kReverse.latin[unit];
    if (code == 0) return std::nullopt;
    return GsmCode{static_cast<std::uint8_t>((code & 0xFF) - 1), (code & 0x100) != 0};
  }
  if (unit == 0x20AC) return GsmCode{0x65, true};
  // Greek capitals of the default table.
  for (std::uint8_t s = 0x10; s <= 0x1A; ++s) {
    if (kDefaultTable[s] == unit) return GsmCode{s, false};
  }
  return std::nullopt;
}

std::u16string gsmSeptetsToText(std::span<const std::uint8_t> septets) {
  std::u16string text(septets.size(), u'\0');
  std::size_t length = 0;
  for (std::size_t i = 0; i < septets.size(); ++i) {
    const std::uint8_t s = septets[i] & 0x7F;
    if (s != kGsmEscape) {
      text[length++] = kDefaultTable[s];
    } else if (i + 1 < septets.size()) {
      text[length++] = gsmExtensionToUnicode(septets[++i]);
    }
  }
  text.resize(length);
  return text;
}

std::vector<std::uint8_t> unpackSeptets(std::span<const std::uint8_t> octets, unsigned fillBits,
                                        std::size_t maxSeptets) {
  if (fillBits > 7) fillBits = 7;
  const std::size_t totalBits = octets.size() * 8;
  std::size_t available = totalBits > fillBits ? (totalBits - fillBits) / 7 : 0;
  if (available > maxSeptets) available = maxSeptets;
  std::vector<std::uint8_t> septets(available);
  if (available == 0) return septets;
  // Bits wait in `pending`, low bits first. A new octet is read only when the next septet needs
  // it, and every septet counted in `available` lies wholly inside the input.
  std::size_t next = 0;
  unsigned pending = octets[next++] >> fillBits;
  unsigned pendingBits = 8 - fillBits;
  for (std::size_t i = 0; i < available; ++i) {
    if (pendingBits < 7) {
      pending |= static_cast<unsigned>(octets[next++]) << pendingBits;
      pendingBits += 8;
    }
    septets[i] = static_cast<std::uint8_t>(pending & 0x7F);
    pending >>= 7;
    pendingBits -= 7;
  }
  return septets;
}

}  // namespace parlane
