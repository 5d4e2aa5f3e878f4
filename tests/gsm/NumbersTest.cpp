#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/settings/SettingsStore.h"
#include "core/util/StringTable.h"
#include "core/util/Utf.h"
#include "gsm/Numbers.h"
#include "message/TonAutoRule.h"

namespace parlane {
namespace {

TEST(NumbersTest, NormalizeNumberCleansAndChecks) {
  struct Case {
    std::u16string number;
    std::int32_t ton;
    std::u16string cleaned;
    bool usable;
  } cases[] = {
      {u"+44 (20) 794-600", 1, u"4420794600", true},
      {u"+44 (20) 794-600", 0, u"4420794600", true},
      {u"00441234567", 1, u"441234567", true},
      {u"00441234567", 2, u"00441234567", true},
      {u"000123", 1, u"000123", true},
      {u"0101234", 1, u"1234", true},
      {u"010", 1, u"010", true},
      {u"0044", 1, u"44", true},
      {u"004", 1, u"004", true},
      {u"+0044", 1, u"0044", true},  // the plus sign skips the trunk-prefix step
      {u"12345/ call after 6", 1, u"12345", true},
      {u"/note", 1, u"", false},
      {u"*100#", 4, u"*100#", false},
      {u"", 0, u"", false},
      {u"+", 1, u"", false},
      {u"12a4", 0, u"12a4", false},
      {u"(0 1)-2 3", 0, u"0123", true},
  };
  for (const Case& c : cases) {
    std::u16string number = c.number;
    EXPECT_EQ(normalizeNumber(number, c.ton), c.usable)
        << std::string(c.number.begin(), c.number.end());
    EXPECT_EQ(number, c.cleaned) << std::string(c.number.begin(), c.number.end());
  }
}

class AutoTonTest : public ::testing::Test {
 protected:
  void TearDown() override { TonAutoRule::set({}); }
};

TEST_F(AutoTonTest, ResolvesByPlusLengthAndRule) {
  SettingsStore settings;
  settings.setInt("auto_ton.length", 8);
  settings.setInt("auto_ton.short", 0);
  settings.setInt("auto_ton.long", 1);
  TonAutoRule::load(settings);
  struct Case {
    std::u16string number;
    TonValue ton;
  } cases[] = {
      {u"1234", kTonUnknown},        {u"12345678", kTonUnknown}, {u"123456789", kTonInternational},
      {u"+1234", kTonInternational}, {u"", kTonUnknown},
  };
  for (const Case& c : cases) EXPECT_EQ(resolveAutoTon(c.number), c.ton);
}

TEST_F(AutoTonTest, AbsentSettingsResolveEverythingWithoutPlusToUnknown) {
  SettingsStore empty;
  TonAutoRule::set({5, 4, 3});
  TonAutoRule::load(empty);
  EXPECT_EQ(resolveAutoTon(u"1"), kTonUnknown);
  EXPECT_EQ(resolveAutoTon(u"123456789012"), kTonUnknown);
  EXPECT_EQ(resolveAutoTon(u"+7"), kTonInternational);
}

TEST_F(AutoTonTest, ReloadTakesNewValues) {
  SettingsStore settings;
  settings.setInt("auto_ton.length", 4);
  settings.setInt("auto_ton.short", 4);
  settings.setInt("auto_ton.long", 2);
  TonAutoRule::load(settings);
  EXPECT_EQ(resolveAutoTon(u"1234"), kTonShortCode);
  EXPECT_EQ(resolveAutoTon(u"12345"), kTonNational);
  settings.setInt("auto_ton.length", 5);
  EXPECT_EQ(resolveAutoTon(u"12345"), kTonNational) << "a copy is kept until reloaded";
  TonAutoRule::load(settings);
  EXPECT_EQ(resolveAutoTon(u"12345"), kTonShortCode);
}

TEST(NumbersTest, PrefixRewriteReplacesOnlyALeadingMatch) {
  struct Case {
    std::u16string from, to, destination, rewritten;
    bool changed;
  } cases[] = {
      {u"8", u"+7", u"89161234567", u"+79161234567", true},
      {u"8", u"+7", u"79161234567", u"79161234567", false},
      {u"8", u"+7", u"+89161234567", u"+89161234567", false},
      {u"00", u"", u"0049123", u"49123", true},
      {u"", u"+7", u"89161234567", u"89161234567", false},
      {u"abc", u"x", u"ABC1", u"ABC1", false},
      {u"123", u"9", u"12", u"12", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.destination) + ", prefix " + toUtf8(c.from));
    std::u16string destination = c.destination;
    EXPECT_EQ(applyPrefixRewrite(destination, c.from, c.to), c.changed);
    EXPECT_EQ(destination, c.rewritten);
  }
}

TEST(NumbersTest, NationalFormatWarningIsReportedToTheCaller) {
  struct Case {
    bool enabled;
    std::u16string destination;
    std::int32_t ton;
    bool warned;
  } cases[] = {
      {true, u"0201234", 1, true},  {true, u"0201234", 2, true},   {true, u"0201234", 0, false},
      {true, u"0201234", 4, false}, {true, u"00201234", 1, false}, {true, u"01", 1, false},
      {true, u"201234", 1, false},  {false, u"0201234", 1, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(warnNationalFormat(c.destination, c.ton, c.enabled), c.warned)
        << toUtf8(c.destination) << " TON " << c.ton << (c.enabled ? "" : " disabled");
  }
  EXPECT_EQ(formatString(text::kNationalFormatWarning, {u"0201234"}),
            u"Number '0201234' is in national format. SMS may not be delivered. Country code "
            u"using is recommended.");
}

TEST(NumbersTest, TypeOfAddressOctets) {
  EXPECT_EQ(typeOfAddressOctet(kTonUnknown), 0x81);
  EXPECT_EQ(typeOfAddressOctet(kTonInternational), 0x91);
  EXPECT_EQ(typeOfAddressOctet(kTonNational), 0xA1);
  EXPECT_EQ(typeOfAddressOctet(kTonSpecific), 0xB1);
  EXPECT_EQ(typeOfAddressOctet(kTonShortCode), 0xC1);
  EXPECT_EQ(typeOfAddressOctet(8), 0x81) << "stays a type-of-address octet";
}

}  // namespace
}  // namespace parlane
