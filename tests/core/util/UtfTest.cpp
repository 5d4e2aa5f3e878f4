#include <gtest/gtest.h>

#include <string>

#include "core/util/Utf.h"

namespace parlane {
namespace {

TEST(Utf, RoundTripsEveryPlane) {
  const std::u16string texts[] = {
      u"",
      u"plain ASCII \r\n\t",
      std::u16string(1, u'\0') + u"NUL inside",
      u"\u007F\u0080\u07FF\u0800",              // one/two and two/three byte boundaries
      u"\u041F\u0440\u0438\u0432\u0435\u0442",  // Cyrillic
      u"\u4F60\u597D \uFFFD \uFFFF",
      u"\U00010000 \U0001F600 \U0010FFFF",  // surrogate pairs
  };
  for (const auto& text : texts) {
    EXPECT_EQ(fromUtf8(toUtf8(text)), text);
  }
  EXPECT_EQ(toUtf8(u"\u041F\U0001F600"), "\xD0\x9F\xF0\x9F\x98\x80");
}

// Several U+FFFD in a row count as one: how many a bad sequence yields is not the point, that
// the good text around it survives is.
std::u16string collapseReplacements(std::u16string text) {
  std::u16string out;
  for (char16_t c : text) {
    if (c == 0xFFFD && !out.empty() && out.back() == 0xFFFD) continue;
    out.push_back(c);
  }
  return out;
}

TEST(Utf, InvalidUtf8BecomesReplacementCharacters) {
  const struct {
    const char* name;
    std::string bytes;
    std::u16string expected;
  } cases[] = {
      {"stray continuation",
       "a\x80"
       "b",
       u"a\uFFFDb"},
      {"overlong slash, two bytes",
       "a\xC0\xAF"
       "b",
       u"a\uFFFDb"},
      {"overlong slash, three bytes",
       "a\xE0\x80\xAF"
       "b",
       u"a\uFFFDb"},
      {"overlong NUL, four bytes",
       "a\xF0\x80\x80\x80"
       "b",
       u"a\uFFFDb"},
      {"encoded high surrogate",
       "a\xED\xA0\x80"
       "b",
       u"a\uFFFDb"},
      {"encoded low surrogate",
       "a\xED\xBF\xBF"
       "b",
       u"a\uFFFDb"},
      {"beyond U+10FFFF",
       "a\xF4\x90\x80\x80"
       "b",
       u"a\uFFFDb"},
      {"invalid lead bytes",
       "a\xF5\xFE\xFF"
       "b",
       u"a\uFFFDb"},
      {"truncated at the end", "a\xE2\x82", u"a\uFFFD"},
      {"truncated before ASCII",
       "a\xF0\x9F\x98"
       "b",
       u"a\uFFFDb"},
      {"truncated before a good character", "\xD0\xD0\x9F", u"\uFFFD\u041F"},
      {"lead byte alone at the end", "\xC3", u"\uFFFD"},
  };
  for (const auto& c : cases) {
    const std::u16string decoded = fromUtf8(c.bytes);
    EXPECT_EQ(collapseReplacements(decoded), c.expected) << c.name;
    // What comes out is clean: it survives another round trip unchanged.
    EXPECT_EQ(fromUtf8(toUtf8(decoded)), decoded) << c.name;
  }
}

TEST(Utf, LoneSurrogatesBecomeReplacementCharacters) {
  const struct {
    const char* name;
    std::u16string text;
    std::string expected;
  } cases[] = {
      {"high at the end", u"a\xD83D", "a\xEF\xBF\xBD"},
      {"low alone", u"\xDE00z", "\xEF\xBF\xBDz"},
      {"high before a letter", u"\xD83Dz", "\xEF\xBF\xBDz"},
      {"two highs then a low", u"\xD83D\xD83D\xDE00", "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
      {"reversed pair", u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) EXPECT_EQ(toUtf8(c.text), c.expected) << c.name;
}

TEST(Utf, FromAsciiWidensBytes) { EXPECT_EQ(fromAscii("AT+CMGS=12\r\n"), u"AT+CMGS=12\r\n"); }

}  // namespace
}  // namespace parlane
