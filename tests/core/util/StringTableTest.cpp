#include <gtest/gtest.h>

#include <string>

#include "core/util/StringTable.h"
#include "core/util/Utf.h"

namespace parlane {
namespace {

struct KnownEntry {
  const char* name;
  int id;
  const char16_t* text;
};

void PrintTo(const KnownEntry& c, std::ostream* os) { *os << c.name; }

class StringTableEntries : public testing::TestWithParam<KnownEntry> {};

TEST_P(StringTableEntries, LoadWithExactWording) {
  EXPECT_TRUE(hasString(GetParam().id));
  EXPECT_EQ(loadString(GetParam().id), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Known, StringTableEntries,
    testing::Values(
        KnownEntry{"Warning", 40000, u"Warning"}, KnownEntry{"Error", 40001, u"Error"},
        KnownEntry{"GotSms", 40070, u"Got SMS from %s"},
        KnownEntry{"ErrorOpeningFile", 40072, u"Error opening file (%s): %s"},
        KnownEntry{"ProgramName", 40103, u"Parlane"},
        KnownEntry{"TrayTip", 40124,
                   u"Double-click the icon to open the main window\nRight button click to "
                   u"open the main menu"},
        KnownEntry{"UssdRequestFailed", 40208,
                   u"Failed to send USSD request '%s'.\r\nPlease view modem log for more "
                   u"information."},
        KnownEntry{"Delivered", 40297, u"Delivered"},
        // Modem error texts keep their wording, misspellings included.
        KnownEntry{"PhoneFailure", 1000, u"Phone failure"},
        KnownEntry{"SimNotInserted", 1010, u"SIM not inserted"},
        KnownEntry{"UnknownModemError", 1100, u"Unknown error"},
        KnownEntry{"SimPoweredDown", 1772, u"SIM powered down"},
        KnownEntry{"UnassignedNumber", 2001, u"Unassigned number"},
        KnownEntry{"CallBared", 2010, u"Call bared"},
        KnownEntry{"InformationElementCutShort", 2099,
                   u"Information element non-existent or not implemente"},
        KnownEntry{"SmscAddressUnknown", 2330, u"SMSC address unknown"},
        KnownEntry{"UnknownNetworkError", 2500, u"Unknown error"},
        KnownEntry{"InvalidParameter", 2538, u"Invalid parameter"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StringTable, UnknownNumbersAreEmpty) {
  for (int id : {-1, 0, 999, 1008, 2002, 3000, 40002, 40233, 40300}) {
    EXPECT_FALSE(hasString(id)) << id;
    EXPECT_EQ(loadString(id), u"") << id;
  }
}

TEST(StringTable, FormatStringFillsTheEntry) {
  EXPECT_EQ(formatString(40070, {u"+4917012345"}), u"Got SMS from +4917012345");
  EXPECT_EQ(formatString(40028, {17, u"GSM", 1}), u"17 characters, GSM coding, 1 fragment(s)");
  EXPECT_EQ(formatString(40042, {u" 5", u"ttyUSB0"}), u"Parlane 5 (connecting to ttyUSB0...)");
  EXPECT_EQ(formatString(40300, {1}), u"");
}

struct FormatCase {
  const char16_t* format;
  std::initializer_list<FormatArg> args;
  const char16_t* expected;
};

TEST(StringTable, FormatText) {
  const FormatCase cases[] = {
      {u"plain", {}, u"plain"},
      {u"%s and %s", {u"a", u"b"}, u"a and b"},
      {u"%d", {-42}, u"-42"},
      {u"%02d:%02d", {7, 123}, u"07:123"},
      {u"%5d|%-5d|", {42, 42}, u"   42|42   |"},
      {u"%+d %u %x %X %o", {5, -1, 255, 255, 8}, u"+5 4294967295 ff FF 10"},
      {u"%.3d", {7}, u"007"},
      {u"[%5s][%-5s][%.2s]", {u"ab", u"ab", u"abcdef"}, u"[   ab][ab   ][ab]"},
      {u"100%%", {}, u"100%"},
      {u"%%s", {u"x"}, u"%s"},
      {u"%c%c", {65, u"Bee"}, u"AB"},
      {u"%ls and %hd", {u"wide", 3}, u"wide and 3"},
      // A wrong kind of argument is converted.
      {u"%s|%d|%d", {12, u" -34xyz", u"none"}, u"12|-34|0"},
      // Missing arguments leave their conversions empty.
      {u"Got SMS from %s", {}, u"Got SMS from "},
      {u"%d-%d-%s", {1}, u"1--"},
      // Odd formats never crash and keep what they can't convert.
      {u"lone %", {}, u"lone %"},
      {u"%", {1}, u"%"},
      {u"%-05", {1}, u"%-05"},
      {u"%y%*d", {1}, u"%y%*d"},
      {u"%999999999999d|", {1}, nullptr},
      {u"%.99999999999s|", {u"x"}, u"x|"},
      {u"\u0416%s\U0001F600", {u"\u0436"}, u"\u0416\u0436\U0001F600"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(toUtf8(c.format));
    const std::u16string out = formatText(c.format, c.args);
    if (c.expected != nullptr) {
      EXPECT_EQ(out, c.expected) << toUtf8(c.format);
    } else {
      // Widths are clamped: the field is padded, but not to gigabytes.
      EXPECT_LE(out.size(), 2000u) << toUtf8(c.format);
      EXPECT_EQ(out.substr(out.size() - 2), u"1|");
    }
  }
}

TEST(StringTable, PrecisionNeverSplitsASurrogatePair) {
  EXPECT_EQ(formatText(u"%.2s", {u"a\U0001F600"}), u"a");
  EXPECT_EQ(formatText(u"%.3s", {u"a\U0001F600"}), u"a\U0001F600");
}

}  // namespace
}  // namespace parlane
