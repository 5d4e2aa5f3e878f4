#include <gtest/gtest.h>

#include <climits>
#include <ostream>

#include "core/settings/SettingsStore.h"

namespace parlane {
namespace {

struct IntCase {
  const char* name;
  std::u16string text;
  int expected;
};

void PrintTo(const IntCase& c, std::ostream* os) { *os << c.name; }

class ParseIntTest : public testing::TestWithParam<IntCase> {};

TEST_P(ParseIntTest, ReadsLeadingDecimal) {
  EXPECT_EQ(SettingsStore::parseInt(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseIntTest,
    testing::Values(IntCase{"TrailingLetters", u"12abc", 12}, IntCase{"Empty", u"", 0},
                    IntCase{"LettersOnly", u"abc", 0}, IntCase{"BlankThenMinus", u" -5", -5},
                    IntCase{"LeadingWhitespace", u"\t\r\n 42", 42}, IntCase{"Plus", u"+7", 7},
                    IntCase{"MinusAlone", u"-", 0}, IntCase{"PlusThenMinus", u"+-3", 0},
                    IntCase{"BlankAfterMinus", u"- 3", 0}, IntCase{"LeadingZeros", u"007", 7},
                    IntCase{"Largest", u"2147483647", INT_MAX},
                    IntCase{"Smallest", u"-2147483648", INT_MIN},
                    IntCase{"AboveLargest", u"2147483648", INT_MAX},
                    IntCase{"BelowSmallest", u"-2147483649", INT_MIN},
                    IntCase{"FarAboveLargest", u"99999999999999999999999999", INT_MAX},
                    IntCase{"FarBelowSmallest", u"-99999999999999999999999999", INT_MIN},
                    IntCase{"FullWidthDigit", u"\uFF11", 0} /* full-width digit is not a digit */),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsStore, AbsentKeysReadAsEmptyAndZero) {
  SettingsStore store;
  EXPECT_EQ(store.getString("logger.level"), u"");
  EXPECT_EQ(store.getInt("logger.level"), 0);
  EXPECT_FALSE(store.contains("logger.level"));
}

TEST(SettingsStore, NarrowAndWideKeysMeetInOneEntry) {
  SettingsStore store;
  store.setString(u"modem.port", u"ttyUSB0");
  EXPECT_EQ(store.getString("modem.port"), u"ttyUSB0");
  store.setInt("sender.retries", -3);
  EXPECT_EQ(store.getString(u"sender.retries"), u"-3");
  EXPECT_EQ(store.getInt(u"sender.retries"), -3);
  store.setString("modem.port", u"ttyACM1");
  EXPECT_EQ(store.snapshot().size(), 2u);
  EXPECT_EQ(store.getString(u"modem.port"), u"ttyACM1");
}

TEST(SettingsStore, SnapshotIsInByteOrder) {
  SettingsStore store;
  for (const char* key : {"b", "a.2", "a.10", "B", "\xC3\xA9"}) store.setString(key, u"x");
  std::string order;
  for (const auto& [key, value] : store.snapshot()) order += key + " ";
  EXPECT_EQ(order, "B a.10 a.2 b \xC3\xA9 ");
}

struct PatternCase {
  const char* name;
  std::string pattern;
  int n;
  std::string key;
};

void PrintTo(const PatternCase& c, std::ostream* os) { *os << c.name; }

class KeyFromPatternTest : public testing::TestWithParam<PatternCase> {};

TEST_P(KeyFromPatternTest, FillsTheFirstNumber) {
  EXPECT_EQ(SettingsStore::keyFromPattern(GetParam().pattern, GetParam().n), GetParam().key);
}

INSTANTIATE_TEST_SUITE_P(Cases, KeyFromPatternTest,
                         testing::Values(PatternCase{"Group", "groups.%d.name", 3, "groups.3.name"},
                                         PatternCase{"Zero", "smsc.%d", 0, "smsc.0"},
                                         PatternCase{"Negative", "x.%d", -12, "x.-12"},
                                         PatternCase{"Smallest", "x.%d", INT_MIN, "x.-2147483648"},
                                         PatternCase{"EscapedPercent", "100%%.%d", 1, "100%.1"},
                                         PatternCase{"OnlyTheFirstNumber", "a.%d.%d", 1, "a.1.%d"},
                                         PatternCase{"NoNumber", "no.number", 5, "no.number"},
                                         PatternCase{"OtherConversionKept", "%s.%d", 2, "%s.2"},
                                         PatternCase{"TrailingPercent", "tail%", 2, "tail%"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsStore, PatternGettersAndSetterUseTheProducedKey) {
  SettingsStore store;
  store.setStringByPattern("operator.%d.prefix", 4, u"+3712");
  EXPECT_EQ(store.getString("operator.4.prefix"), u"+3712");
  EXPECT_EQ(store.getStringByPattern("operator.%d.prefix", 4), u"+3712");
  EXPECT_EQ(store.getIntByPattern("operator.%d.prefix", 4), 3712);
  EXPECT_EQ(store.getStringByPattern("operator.%d.prefix", 5), u"");
}

}  // namespace
}  // namespace parlane
