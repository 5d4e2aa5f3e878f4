#include <gtest/gtest.h>

#include "transport/ListReplyEvent.h"
#include "transport/ModemErrorLine.h"
#include "transport/StringReplyEvent.h"

namespace parlane {
namespace {

AsyncEvent lineEvent(std::u16string text) {
  return AsyncEvent(AsyncEvent::kInformation, 0, std::move(text), "raw");
}

struct StringCase {
  const char16_t* line;
  const char16_t* name;
  const char16_t* text;
  bool malformed;
};

TEST(StringReplyEventTest, SplitsAtTheFirstColon) {
  const StringCase cases[] = {
      {u"+CGMI: X", u"+CGMI", u"X", false},
      {u"+CSQ: 31,0", u"+CSQ", u"31,0", false},
      {u"+CSCA: \"+31:6\",145 \t", u"+CSCA", u"\"+31:6\",145", false},
      {u" +CPMS :\r\n 1,20\r\n", u" +CPMS ", u"1,20", false},
      {u"+CPMS:", u"", u"", true},
      {u"Emulator", u"", u"", true},
      {u"", u"", u"", true},
  };
  for (const StringCase& c : cases) {
    SCOPED_TRACE(std::string(c.line, c.line + std::char_traits<char16_t>::length(c.line)));
    const StringReplyEvent event(lineEvent(c.line));
    EXPECT_EQ(event.kind, 10);
    EXPECT_EQ(event.raw, "raw");
    EXPECT_EQ(event.name, c.name);
    EXPECT_EQ(event.text, c.text);
    EXPECT_EQ(event.malformed, c.malformed);
  }
}

std::vector<std::vector<int>> rowsOf(const ListReplyEvent& event) {
  std::vector<std::vector<int>> rows;
  for (std::size_t r = 0; r < event.rows.size(); ++r) {
    rows.emplace_back();
    for (int v = 0; v < 256; ++v) {
      if (event.lookup(v, static_cast<int>(r))) rows.back().push_back(v);
    }
  }
  return rows;
}

TEST(ListReplyEventTest, ReadsEveryGroupAsARow) {
  const ListReplyEvent cnmi(lineEvent(u"+CNMI: (0-3),(0-3),(0,2,3),(0-1),(0)"));
  EXPECT_EQ(cnmi.kind, 11);
  EXPECT_FALSE(cnmi.malformed);
  EXPECT_EQ(cnmi.text, u"(0-3),(0-3),(0,2,3),(0-1),(0)");
  EXPECT_EQ(rowsOf(cnmi),
            (std::vector<std::vector<int>>{{0, 1, 2, 3}, {0, 1, 2, 3}, {0, 2, 3}, {0, 1}, {0}}));

  const ListReplyEvent cmgf(lineEvent(u"+CMGF: (0-1)"));
  EXPECT_EQ(rowsOf(cmgf), (std::vector<std::vector<int>>{{0, 1}}));
  EXPECT_FALSE(cmgf.lookup(2, 0));
  EXPECT_FALSE(cmgf.lookup(0, 5));
  EXPECT_FALSE(cmgf.lookup(-1, 0));
  EXPECT_FALSE(cmgf.lookup(256, 0));
}

TEST(ListReplyEventTest, OddElementsAreIgnoredAndRangesClamped) {
  const ListReplyEvent event(
      lineEvent(u"+CMGD: ( 1 - 5000 ),(3-1,x,7,300,1-2-3,-4,),(),(255-999999999999)"));
  EXPECT_EQ(event.text, u"( 1 - 5000 ),(3-1,x,7,300,1-2-3,-4,),(),(255-999999999999)");
  const auto rows = rowsOf(event);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].size(), 255u);  // 1..255
  EXPECT_EQ(rows[1], std::vector<int>{7});
  EXPECT_TRUE(rows[2].empty());
  EXPECT_EQ(rows[3], std::vector<int>{255});
}

TEST(ListReplyEventTest, MalformedLines) {
  for (const char16_t* line : {u"+CMGF:", u"+CMGF: ", u"+CMGF: 1", u"no colon", u""}) {
    const ListReplyEvent event(lineEvent(line));
    EXPECT_TRUE(event.malformed) << std::string(line,
                                                line + std::char_traits<char16_t>::length(line));
    EXPECT_TRUE(event.rows.empty());
  }
  // A value without parentheses is one row with nothing in it.
  const ListReplyEvent bare(lineEvent(u"+CMEE: 0-2"));
  EXPECT_FALSE(bare.malformed);
  ASSERT_EQ(bare.rows.size(), 1u);
  EXPECT_TRUE(bare.rows[0].none());
}

struct ErrorCase {
  const char16_t* line;
  int code;
  const char16_t* text;
};

TEST(ModemErrorLineTest, ReadsCodeAndText) {
  const ErrorCase cases[] = {
      {u"+CME ERROR: 10", 10, u"SIM not inserted"},
      {u"+CMS ERROR: 10", 10, u"Call bared"},
      {u"+CMS ERROR: 11", 11, u"11"},
      {u"+CMS ERROR: 500", 500, u"Unknown error"},
      {u"+CMS ERROR: 330", 330, u"SMSC address unknown"},
      {u"+CME ERROR: 100", 100, u"Unknown error"},
      {u"+CME ERROR: SM BL not ready", 100, u"SM BL not ready"},
      {u"+CME ERROR: -1", 100, u"-1"},
      {u"+CME ERROR:  +3 trailing", 3, u"Operation not allowed"},
      {u"+cms error: 302", 302, u"Operation not allowed"},
      {u"+CME ERROR: 772", 772, u"SIM powered down"},
      // Codes outside 0..999 never reach another table's texts.
      {u"+CME ERROR: 1010", 1010, u"1010"},
      {u"+CMS ERROR: 38001", 38001, u"38001"},
      {u"+CME ERROR: -990", -990, u"-990"},
      {u"+CME ERROR: 99999999999", 2147483647, u"99999999999"},
      // Shorter than the prefix: an empty tail.
      {u"+CME ERROR:", 100, u""},
      {u"+CMS ", 100, u""},
      {u"+CME ERROR:5", 100, u""},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(std::string(c.line, c.line + std::char_traits<char16_t>::length(c.line)));
    const ModemErrorLine error = ModemErrorLine::read(c.line);
    EXPECT_EQ(error.code, c.code);
    EXPECT_EQ(error.text, c.text);
  }
}

}  // namespace
}  // namespace parlane
