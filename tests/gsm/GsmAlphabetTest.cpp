#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/util/Utf.h"
#include "gsm/GsmAlphabet.h"

namespace parlane {
namespace {

using Septets = std::vector<std::uint8_t>;

TEST(GsmAlphabet, DefaultTableSpecialPositions) {
  struct Case {
    std::uint8_t septet;
    char16_t unit;
  };
  const Case cases[] = {
      {0x00, u'@'},  {0x01, u'£'},  {0x02, u'$'}, {0x03, u'¥'}, {0x09, u'Ç'},
      {0x0A, u'\n'}, {0x0D, u'\r'}, {0x10, u'Δ'}, {0x11, u'_'}, {0x1A, u'Ξ'},
      {0x1C, u'Æ'},  {0x1F, u'É'},  {0x20, u' '}, {0x24, u'¤'}, {0x40, u'¡'},
      {0x41, u'A'},  {0x5B, u'Ä'},  {0x5F, u'§'}, {0x60, u'¿'}, {0x61, u'a'},
      {0x7B, u'ä'},  {0x7E, u'ü'},  {0x7F, u'à'}, {0x30, u'0'}, {0x1B, u' '},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(gsmDefaultToUnicode(c.septet), c.unit) << int{c.septet};
  }
  // Only seven bits count.
  EXPECT_EQ(gsmDefaultToUnicode(0xC1), u'A');
}

TEST(GsmAlphabet, EveryDefaultCharacterMapsBackToItsSeptet) {
  for (std::uint8_t septet = 0; septet < 0x80; ++septet) {
    if (septet == kGsmEscape) continue;
    const auto code = unicodeToGsm(gsmDefaultToUnicode(septet));
    ASSERT_TRUE(code.has_value()) << int{septet};
    EXPECT_EQ(code->septet, septet);
    EXPECT_FALSE(code->escaped);
  }
}

TEST(GsmAlphabet, ExtensionTableBothWays) {
  struct Case {
    std::uint8_t septet;
    char16_t unit;
  };
  const Case cases[] = {{0x0A, u'\f'}, {0x14, u'^'}, {0x28, u'{'}, {0x29, u'}'}, {0x2F, u'\\'},
                        {0x3C, u'['},  {0x3D, u'~'}, {0x3E, u']'}, {0x40, u'|'}, {0x65, u'€'}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "septet " << static_cast<int>(c.septet));
    EXPECT_EQ(gsmExtensionToUnicode(c.septet), c.unit);
    const auto code = unicodeToGsm(c.unit);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(code->septet, c.septet);
    EXPECT_TRUE(code->escaped);
  }
}

TEST(GsmAlphabet, UnknownEscapeShowsTheDefaultCharacter) {
  EXPECT_EQ(gsmExtensionToUnicode(0x41), u'A');
  EXPECT_EQ(gsmExtensionToUnicode(0x00), u'@');
  EXPECT_EQ(gsmExtensionToUnicode(kGsmEscape), u' ');
}

TEST(GsmAlphabet, CharactersOutsideTheAlphabet) {
  for (const char16_t unit : {u'`', u'\t', u'\x7F', u'ç', u'中', u'\xD83D'}) {
    EXPECT_FALSE(unicodeToGsm(unit).has_value()) << int{unit};
  }
}

TEST(GsmAlphabet, SeptetsToText) {
  struct Case {
    Septets septets;
    std::u16string text;
  };
  const Case cases[] = {
      {{}, u""},
      {{0x48, 0x69}, u"Hi"},
      {{0x1B, 0x65, 0x31}, u"€1"},
      {{0x1B, 0x28, 0x1B, 0x29}, u"{}"},
      {{0x41, 0x1B}, u"A"},         // a lone escape at the end gives nothing
      {{0x1B, 0x41, 0x42}, u"AB"},  // unknown escape: the default character
      {{0x1B, 0x1B, 0x42}, u" B"},  // escape to a further table: a space
      {{0x00, 0x02, 0x11}, u"@$_"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(toUtf8(c.text));
    EXPECT_EQ(gsmSeptetsToText(c.septets), c.text);
  }
}

// Packs septets after `fill` zero bits, low bits first: the layout on the air.
std::vector<std::uint8_t> packForTest(const Septets& septets, unsigned fill) {
  const std::size_t bits = fill + 7 * septets.size();
  std::vector<std::uint8_t> octets((bits + 7) / 8);
  for (std::size_t i = 0; i < septets.size(); ++i) {
    for (unsigned b = 0; b < 7; ++b) {
      if (septets[i] >> b & 1) {
        const std::size_t at = fill + 7 * i + b;
        octets[at / 8] |= static_cast<std::uint8_t>(1u << (at % 8));
      }
    }
  }
  return octets;
}

TEST(GsmAlphabet, UnpackKnownAnswer) {
  // "hellohello", the worked example of the standard.
  const std::vector<std::uint8_t> packed = {0xE8, 0x32, 0x9B, 0xFD, 0x46, 0x97, 0xD9, 0xEC, 0x37};
  const Septets expected = {0x68, 0x65, 0x6C, 0x6C, 0x6F, 0x68, 0x65, 0x6C, 0x6C, 0x6F};
  EXPECT_EQ(unpackSeptets(packed, 0, 1000), expected);
  EXPECT_EQ(packForTest(expected, 0), packed);
}

TEST(GsmAlphabet, UnpackAfterEveryFillBitCount) {
  const Septets septets = {0x7F, 0x00, 0x55, 0x2A, 0x41, 0x1B, 0x65, 0x7E, 0x01, 0x40};
  for (unsigned fill = 0; fill <= 6; ++fill) {
    const auto packed = packForTest(septets, fill);
    EXPECT_EQ(unpackSeptets(packed, fill, septets.size()), septets) << "fill " << fill;
  }
}

TEST(GsmAlphabet, UnpackStopsAtTheLimitAndAtTheEnd) {
  const std::vector<std::uint8_t> seven(7, 0x00);
  EXPECT_EQ(unpackSeptets(seven, 0, 100).size(), 8u);  // 56 bits hold eight septets
  EXPECT_EQ(unpackSeptets(seven, 0, 7).size(), 7u);
  EXPECT_EQ(unpackSeptets(seven, 1, 100).size(), 7u);
  EXPECT_TRUE(unpackSeptets({}, 0, 100).empty());
  const std::vector<std::uint8_t> one = {0xFF};
  EXPECT_EQ(unpackSeptets(one, 0, 100), Septets({0x7F}));
  EXPECT_EQ(unpackSeptets(one, 1, 100), Septets({0x7F}));
  EXPECT_TRUE(unpackSeptets(one, 2, 100).empty());
  EXPECT_TRUE(unpackSeptets(one, 9, 100).empty());
}

}  // namespace
}  // namespace parlane
