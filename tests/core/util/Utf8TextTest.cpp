#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/util/Utf.h"
#include "core/util/Utf8Text.h"

namespace parlane {
namespace {

struct ValidityCase {
  const char* name;
  std::string bytes;
  bool valid;
};

void PrintTo(const ValidityCase& c, std::ostream* os) { *os << c.name; }

class Utf8Validity : public testing::TestWithParam<ValidityCase> {};

TEST_P(Utf8Validity, AgreesWithTheStrictReading) {
  const ValidityCase& c = GetParam();
  EXPECT_EQ(isValidUtf8(c.bytes), c.valid);
  if (c.valid) {
    // Checked text takes the quick decoder; it must read exactly as the careful one would.
    std::u16string quick;
    appendUtf16(c.bytes, quick);
    EXPECT_EQ(toUtf8(quick), c.bytes);
    EXPECT_EQ(fromUtf8(c.bytes), quick);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8Validity,
    testing::Values(
        ValidityCase{"Empty", "", true},
        ValidityCase{"LongAscii", "AT+CMGS=23\r\nthe quick brown fox", true},
        ValidityCase{"TwoThreeFourBytes", "\xD0\x9F \xE4\xBD\xA0 \xF0\x9F\x98\x80", true},
        ValidityCase{"Boundaries", "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF4\x8F\xBF\xBF",
                     true},
        ValidityCase{"MultibyteAfterEightAscii", "12345678\xC3\xA9", true},
        ValidityCase{"StrayContinuation", "ab\x80", false},
        ValidityCase{"OverlongTwoBytes", "\xC0\xAF", false},
        ValidityCase{"OverlongThreeBytes", "\xE0\x80\xAF", false},
        ValidityCase{"OverlongFourBytes", "\xF0\x80\x80\x80", false},
        ValidityCase{"EncodedSurrogate", "\xED\xA0\x80", false},
        ValidityCase{"BeyondU10FFFF", "\xF4\x90\x80\x80", false},
        ValidityCase{"LeadByteF5", "\xF5\x80\x80\x80", false},
        ValidityCase{"CutShortAtTheEnd", "abc\xE4\xBD", false},
        ValidityCase{"BadSecondContinuation", "\xE4\xBD\x41", false},
        ValidityCase{"BadByteAfterAsciiChunk", "12345678\xFF", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Utf16Less, OrdersAsUtf16CodeUnitsDo) {
  const std::vector<std::u16string> texts = {
      u"",           u"a",          u"ab",          u"b",      u"\u00E9", u"\u07FF",
      u"\u0800",     u"\uD7FF",     u"\uE000",      u"\uFFFD", u"\uFFFF", u"\U00010000",
      u"\U0001F600", u"\U0010FFFF", u"a\U0001F600", u"a\uFFFF"};
  for (const auto& a : texts) {
    for (const auto& b : texts) {
      EXPECT_EQ(utf16Less(toUtf8(a), toUtf8(b)), a < b) << toUtf8(a) << " vs " << toUtf8(b);
    }
  }
}

TEST(Utf, SurrogateTests) {
  EXPECT_FALSE(isSurrogate(0xD7FF));
  EXPECT_TRUE(isHighSurrogate(0xD800));
  EXPECT_TRUE(isHighSurrogate(0xDBFF));
  EXPECT_FALSE(isLowSurrogate(0xDBFF));
  EXPECT_TRUE(isLowSurrogate(0xDC00));
  EXPECT_TRUE(isLowSurrogate(0xDFFF));
  EXPECT_TRUE(isSurrogate(0xDFFF));
  EXPECT_FALSE(isSurrogate(0xE000));
  EXPECT_FALSE(isHighSurrogate(0x1D800)) << "a code point past U+FFFF is no surrogate";
}

}  // namespace
}  // namespace parlane
