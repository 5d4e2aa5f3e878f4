#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "gsm/HexOctets.h"

namespace parlane {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(HexOctets, ReadsPairsInEitherCase) {
  struct Case {
    const char* hex;
    Bytes octets;
  };
  const Case cases[] = {
      {"", {}},
      {"00", {0x00}},
      {"0aFf", {0x0A, 0xFF}},
      {"E8329BFD4697D9EC37", {0xE8, 0x32, 0x9B, 0xFD, 0x46, 0x97, 0xD9, 0xEC, 0x37}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(hexToOctets(c.hex), std::optional<Bytes>(c.octets)) << c.hex;
  }
  EXPECT_EQ(hexToOctets(u"c834"), std::optional<Bytes>(Bytes{0xC8, 0x34}));
}

TEST(HexOctets, DamagedTextGivesNothing) {
  for (const char* hex : {"0", "ABC", "0G", " 00", "00 ", "0x00", "12\r", "+1"}) {
    EXPECT_FALSE(hexToOctets(hex).has_value()) << hex;
  }
  // A wide character whose low octet happens to be a digit is still no digit.
  EXPECT_FALSE(hexToOctets(std::u16string_view(u"\u0141\u0130")).has_value());
  EXPECT_FALSE(hexToOctets(std::u16string_view(u"4\u0131")).has_value());
}

TEST(HexOctets, RendersUppercase) {
  EXPECT_EQ(octetsToHex(Bytes{}), "");
  EXPECT_EQ(octetsToHex(Bytes{0x00, 0x0A, 0xBC, 0xFF}), "000ABCFF");
  const Bytes all = [] {
    Bytes b;
    for (int i = 0; i < 256; ++i) b.push_back(static_cast<std::uint8_t>(i));
    return b;
  }();
  EXPECT_EQ(hexToOctets(octetsToHex(all)), std::optional<Bytes>(all));
}

}  // namespace
}  // namespace parlane
