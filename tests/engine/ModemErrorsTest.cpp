#include <gtest/gtest.h>

#include "engine/ModemErrors.h"

namespace parlane {
namespace {

TEST(ModemErrorsTest, TablesHoldTheirTexts) {
  EXPECT_EQ(modemErrorText(ModemErrorFamily::Cme, 0), u"Phone failure");
  EXPECT_EQ(modemErrorText(ModemErrorFamily::Cme, 772), u"SIM powered down");
  EXPECT_EQ(modemErrorText(ModemErrorFamily::Cms, 1), u"Unassigned number");
  EXPECT_EQ(modemErrorText(ModemErrorFamily::Cms, 538), u"Invalid parameter");
  EXPECT_EQ(modemErrorText(ModemErrorFamily::Cme, 8), std::nullopt);
  EXPECT_EQ(modemErrorText(ModemErrorFamily::Cms, 11), std::nullopt);
  // Beyond 999 a code would reach the other table or the window texts.
  EXPECT_EQ(modemErrorText(ModemErrorFamily::Cme, 1010), std::nullopt);
  EXPECT_EQ(modemErrorText(ModemErrorFamily::Cms, 38001), std::nullopt);
  EXPECT_EQ(modemErrorText(ModemErrorFamily::Cme, -1), std::nullopt);
}

TEST(ModemErrorsTest, TableSizes) {
  int cme = 0;
  int cms = 0;
  for (int code = 0; code < 1000; ++code) {
    cme += modemErrorText(ModemErrorFamily::Cme, code).has_value() ? 1 : 0;
    cms += modemErrorText(ModemErrorFamily::Cms, code).has_value() ? 1 : 0;
  }
  EXPECT_EQ(cme, 60);
  EXPECT_EQ(cms, 86);
}

struct LineCase {
  const char16_t* line;
  int code;
  const char16_t* text;
};

TEST(ModemErrorsTest, ReadsErrorLines) {
  const LineCase cases[] = {
      {u"+CME ERROR: 10", 10, u"SIM not inserted"},
      {u"+CMS ERROR: 500", 500, u"Unknown error"},
      {u"+CMS ERROR: 330", 330, u"SMSC address unknown"},
      {u"+CME ERROR: 100", 100, u"Unknown error"},
      {u"+CME ERROR: SM BL not ready", 100, u"SM BL not ready"},
      {u"+CME ERROR: -1", 100, u"-1"},
      {u"+CMS ERROR: 10", 10, u"Call bared"},
      {u"+CMS ERROR: 999", 999, u"999"},
      {u"+CME ERROR", 100, u""},
      {u"ERROR", 100, u"ERROR"},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(std::string(c.line, c.line + std::char_traits<char16_t>::length(c.line)));
    const ModemError error = readModemError(c.line);
    EXPECT_EQ(error.code, c.code);
    EXPECT_EQ(error.text, c.text);
  }
  EXPECT_EQ(readModemError(u"+CME ERROR: \u00e9").raw, "+CME ERROR: \xc3\xa9");
}

}  // namespace
}  // namespace parlane
