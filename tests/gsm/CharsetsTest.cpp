#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "core/util/Utf.h"
#include "gsm/Charsets.h"
#include "gsm/CodePageCatalogue.h"
#include "gsm/CodePageTable.h"

namespace parlane {
namespace {

TEST(CharsetsTest, KnownAnswers) {
  struct Case {
    std::u16string text;
    std::uint32_t codePage;
    std::string octets;
  } cases[] = {
      {u"\u00E9", 0, "\xE9"},     {u"\u00E9", 65001, "\xC3\xA9"}, {u"\u4E2D", 0, "\x2D"},
      {u"\u00E9", 1252, "\xE9"},  {u"\u20AC", 1252, "\x80"},      {u"\u044F", 1251, "\xFF"},
      {u"\u044F", 20866, "\xD1"}, {u"\u044F", 866, "\xEF"},       {u"\u4E2D", 936, "\xD6\xD0"},
      {u"\u00E9", 28591, "\xE9"}, {u"\u0160", 1250, "\x8A"},      {u"", 1251, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codePage);
    EXPECT_EQ(wideToNarrow(c.text, c.codePage), c.octets);
    if (c.codePage != 0) {
      EXPECT_EQ(narrowToWide(c.octets, c.codePage), c.text);
    }
  }
}

TEST(CharsetsTest, RoundTripsWholeRanges) {
  std::u16string cyrillic;
  for (char16_t c = 0x0410; c <= 0x044F; ++c) cyrillic.push_back(c);
  std::u16string latin;
  for (char16_t c = 0x20; c < 0x7F; ++c) latin.push_back(c);
  for (char16_t c = 0xA0; c <= 0xFF; ++c) latin.push_back(c);
  std::u16string anything = latin + cyrillic + u"\u4E2D\U0001F600";
  struct Case {
    std::uint32_t codePage;
    const std::u16string& text;
  } cases[] = {{1251, cyrillic}, {20866, cyrillic}, {1252, latin}, {65001, anything}};
  for (const Case& c : cases) {
    const auto narrow = wideToNarrow(c.text, c.codePage);
    ASSERT_TRUE(narrow.has_value()) << c.codePage;
    EXPECT_EQ(narrowToWide(*narrow, c.codePage), c.text) << c.codePage;
  }
}

std::optional<std::u16string> roundTrip(std::u16string_view text, std::uint32_t codePage) {
  const auto narrow = wideToNarrow(text, codePage);
  if (!narrow) return std::nullopt;
  return narrowToWide(*narrow, codePage);
}

// ISO-2022-JP is in its two-byte set after a kanji: the "?" for a character it lacks must come
// after a return to the single-byte set, or it pairs with the next octet.
TEST(CharsetsTest, SubstituteInIso2022JpLeavesTheRestIntact) {
  EXPECT_EQ(roundTrip(u"\u65E5\u00E9\u672C", 50220), u"\u65E5?\u672C");
  EXPECT_EQ(roundTrip(u"\u65E5\u00E9", 50220), u"\u65E5?");
  EXPECT_EQ(roundTrip(u"\u65E5\u00E9\u00E9a\u672C", 50220), u"\u65E5??a\u672C");
}

// The same for every code page the catalogue offers: a character a page lacks becomes "?" and
// the characters around it, of whatever set, come back as they were.
TEST(CharsetsTest, SubstituteNeverDisturbsItsNeighboursInAnyCataloguePage) {
  const std::u16string samples[] = {u"A",      u"\u00E9", u"\u65E5", u"\u672C", u"\u0416",
                                    u"\u0E01", u"\uD55C", u"\u05D0", u"\u20AC", u"\U0001F600"};
  for (const CodePageName& page : knownCodePages()) {
    SCOPED_TRACE(page.codePage);
    std::vector<std::u16string> mappable;
    std::vector<std::u16string> unmappable;
    for (const auto& sample : samples) {
      const auto back = roundTrip(sample, page.codePage);
      ASSERT_TRUE(back.has_value());
      if (*back == sample) {
        mappable.push_back(sample);
      } else if (*back == u"?") {
        unmappable.push_back(sample);
      }
    }
    for (const auto& before : mappable) {
      for (const auto& missing : unmappable) {
        for (const auto& after : mappable) {
          EXPECT_EQ(roundTrip(before + missing + after, page.codePage), before + u"?" + after)
              << toUtf8(before + missing + after);
        }
      }
    }
  }
}

TEST(CharsetsTest, CodePageZeroIsOneOctetPerUnit) {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  const auto wide = narrowToWide(all, 0);
  ASSERT_TRUE(wide.has_value());
  ASSERT_EQ(wide->size(), 256u);
  EXPECT_EQ((*wide)[0x80], u'\u0080');
  EXPECT_EQ((*wide)[0xFF], u'\u00FF');
  EXPECT_EQ(wideToNarrow(*wide, 0), all);
}

TEST(CharsetsTest, InvalidInputIsReplacedNotRefused) {
  EXPECT_EQ(narrowToWide("a\xFF"
                         "b",
                         65001),
            u"a\uFFFDb");
  // 0x98 has no character in windows-1251.
  EXPECT_EQ(narrowToWide("a\x98"
                         "b",
                         1251),
            u"a\uFFFDb");
  // A character the code page lacks becomes "?", as the Windows converter does.
  EXPECT_EQ(wideToNarrow(u"a\u4E2D\U0001F600b", 1251), "a??b");
  // A truncated double-byte sequence at the end.
  EXPECT_EQ(narrowToWide("\xD6", 936), u"\uFFFD");
}

TEST(CharsetsTest, UnknownCodePages) {
  EXPECT_EQ(narrowToWide("abc", 12345), std::nullopt);
  EXPECT_EQ(narrowToWide("abc", 1200), std::nullopt);
  // Narrowing falls back to the system code page (UTF-8) rather than failing.
  EXPECT_EQ(wideToNarrow(u"\u00E9", 12345), "\xC3\xA9");
  EXPECT_EQ(iconvNameForCodePage(12345), nullptr);
}

TEST(CharsetsTest, IndirectStringsResolveToNothing) {
  EXPECT_EQ(resolveIndirectString(u"Cyrillic (Windows)"), u"Cyrillic (Windows)");
  EXPECT_EQ(resolveIndirectString(u"@%SystemRoot%\\system32\\mlang.dll,-4611"), u"");
  EXPECT_EQ(resolveIndirectString(u"@"), u"");
  EXPECT_EQ(resolveIndirectString(u""), u"");
}

TEST(CharsetsTest, EveryRequiredCodePageIsKnown) {
  std::vector<std::uint32_t> required = {874, 932, 936, 949, 950, 866, 20866, 21866, 65001};
  for (std::uint32_t cp = 1250; cp <= 1258; ++cp) required.push_back(cp);
  for (std::uint32_t cp = 28591; cp <= 28599; ++cp) required.push_back(cp);
  required.insert(required.end(), {28603, 28605});
  for (std::uint32_t cp : required) EXPECT_NE(iconvNameForCodePage(cp), nullptr) << cp;
}

TEST(CharsetsTest, CatalogueListsConvertibleCodePages) {
  ASSERT_TRUE(CodePageCatalogue::load());
  const auto& entries = CodePageCatalogue::entries();
  const auto find = [&](std::uint32_t cp) {
    return std::find_if(entries.begin(), entries.end(),
                        [cp](const CodePageInfo& e) { return e.codePage == cp; });
  };
  const auto cyrillic = find(1251);
  ASSERT_NE(cyrillic, entries.end());
  EXPECT_EQ(cyrillic->webCharset, "windows-1251");
  EXPECT_EQ(cyrillic->description, u"Cyrillic (Windows)");
  EXPECT_EQ(cyrillic->family, 1251u);
  ASSERT_NE(find(20866), entries.end());
  EXPECT_EQ(find(20866)->family, 1251u);
  for (const CodePageInfo& entry : entries) {
    EXPECT_FALSE(entry.description.empty());
    EXPECT_FALSE(entry.bodyCharset.empty() && entry.webCharset.empty());
    EXPECT_TRUE(narrowToWide("A", entry.codePage).has_value()) << entry.codePage;
  }
}

}  // namespace
}  // namespace parlane
