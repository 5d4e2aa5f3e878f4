#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "core/settings/RegistryHive.h"
#include "core/settings/SettingsStore.h"
#include "support/TempDir.h"

namespace parlane {
namespace {

using test::TempDir;
using Settings = std::map<std::string, std::u16string>;

constexpr const char* kKey = "Software\\Quortane SMS\\Parlane";

RegistryValue sz(std::u16string name, std::u16string data) {
  return {std::move(name), "REG_SZ", std::move(data)};
}

struct LoadCase {
  const char* name;
  std::vector<RegistryValue> values;
  bool loads;
  Settings settings;  // what the store holds afterwards
};

void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }

class RegistryLoadTest : public testing::TestWithParam<LoadCase> {};

TEST_P(RegistryLoadTest, FollowsTheEnumerationRules) {
  TempDir dir;
  RegistryHive hive(dir.path());
  ASSERT_TRUE(hive.writeValues(kKey, GetParam().values));
  SettingsStore store;
  store.setString("before", u"1");
  EXPECT_EQ(store.loadFromRegistry(hive, kKey), GetParam().loads);
  Settings expected = GetParam().settings;
  expected.emplace("before", u"1");
  EXPECT_EQ(store.snapshot(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegistryLoadTest,
    testing::Values(LoadCase{"NoValues", {}, false, {}},
                    LoadCase{"OneValueIsIgnored", {sz(u"modem.port", u"ttyUSB0")}, false, {}},
                    LoadCase{"TwoValues",
                             {sz(u"modem.port", u"ttyUSB0"), sz(u"before", u"2")},
                             true,
                             {{"modem.port", u"ttyUSB0"}, {"before", u"2"}}},
                    LoadCase{"OversizedValueIsSkippedAndTheLoadGoesOn",
                             {sz(u"a", u"1"), sz(u"b", u"2"),
                              sz(u"big", std::u16string(3000, u'x')), sz(u"c", u"3")},
                             true,
                             {{"a", u"1"}, {"b", u"2"}, {"c", u"3"}}},
                    LoadCase{"OversizedValueIsNotCounted",
                             {sz(u"a", u"1"), sz(u"big", std::u16string(3000, u'x'))},
                             false,
                             {}},
                    LoadCase{"LargestFittingData",
                             {sz(u"a", std::u16string(2048, u'x')),
                              sz(u"b", std::u16string(2049, u'y')), sz(u"c", u"3")},
                             true,
                             {{"a", std::u16string(2048, u'x')}, {"c", u"3"}}},
                    LoadCase{"LargestFittingName",
                             {sz(std::u16string(4095, u'n'), u"1"), sz(u"b", u"2"),
                              sz(std::u16string(4096, u'm'), u"3"), sz(u"c", u"4")},
                             true,
                             {{std::string(4095, 'n'), u"1"}, {"b", u"2"}, {"c", u"4"}}},
                    LoadCase{"OtherTypesAreSkippedButCounted",
                             {{u"count", "REG_DWORD", u"7"}, sz(u"a", u"1")},
                             true,
                             {{"a", u"1"}}},
                    LoadCase{"EmptyNameIsSkippedButCounted",
                             {sz(u"", u"default"), sz(u"a", u"1")},
                             true,
                             {{"a", u"1"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsRegistry, SkippedLinesAndValuesAreDescribedForTheLog) {
  TempDir dir;
  RegistryHive hive(dir.path());
  dir.write("Software/Quortane SMS/Parlane",
            "modem.port\tREG_SZ\tC:\\q\na\tREG_SZ\t1\nbig\tREG_SZ\t" + std::string(2100, 'x') +
                "\nb\tREG_SZ\t2\n");
  SettingsStore store;
  std::vector<std::string> notes;
  ASSERT_TRUE(store.loadFromRegistry(hive, kKey, &notes));
  EXPECT_EQ(store.snapshot(), (Settings{{"a", u"1"}, {"b", u"2"}}));
  const std::string where = "Registry key " + hive.keyPath(kKey) + ": ";
  EXPECT_EQ(notes, (std::vector<std::string>{
                       where + "line 1 can't be read; it is skipped and left in the key as it is",
                       where + "value \"big\" is too large to read (name of 3, data of 2100 "
                               "characters); it is skipped"}));
}

TEST(SettingsRegistry, SaveAfterSkippedLinesLosesNothing) {
  TempDir dir;
  RegistryHive hive(dir.path());
  const std::string big(2100, 'x');
  dir.write("Software/Quortane SMS/Parlane",
            "bad\tREG_SZ\t\\q\na\tREG_SZ\t1\nbig\tREG_SZ\t" + big + "\nb\tREG_SZ\t2\n");
  SettingsStore store;
  ASSERT_TRUE(store.loadFromRegistry(hive, kKey));
  store.setString("a", u"changed");
  ASSERT_TRUE(store.saveToRegistry(hive, kKey));
  const std::string text = dir.read("Software/Quortane SMS/Parlane");
  EXPECT_NE(text.find("bad\tREG_SZ\t\\q\n"), std::string::npos) << text;
  EXPECT_NE(text.find("big\tREG_SZ\t" + big + "\n"), std::string::npos);
  EXPECT_NE(text.find("a\tREG_SZ\tchanged\n"), std::string::npos);
  EXPECT_NE(text.find("b\tREG_SZ\t2\n"), std::string::npos);
}

TEST(SettingsRegistry, MissingKeyFails) {
  TempDir dir;
  SettingsStore store;
  EXPECT_FALSE(store.loadFromRegistry(RegistryHive(dir.path()), kKey));
  EXPECT_FALSE(store.loadFromRegistry(RegistryHive(dir.file("none")), kKey));
}

TEST(SettingsRegistry, SaveAndLoadRoundTrip) {
  TempDir dir;
  RegistryHive hive(dir.path());
  SettingsStore store;
  store.setString("modem.port", u"/dev/serial/by-id/usb-Modem if00");
  store.setString("status.file", u"line\r\nbreak\tand \\ slash");
  store.setString("smsc.0", u"\u00e9\U0001F600");
  store.setString("\xC3\xA9.not.ascii", u"skipped");
  ASSERT_TRUE(store.saveToRegistry(hive, kKey));

  SettingsStore loaded;
  ASSERT_TRUE(loaded.loadFromRegistry(hive, kKey));
  Settings expected = store.snapshot();
  expected.erase("\xC3\xA9.not.ascii");
  EXPECT_EQ(loaded.snapshot(), expected);

  struct stat st {};
  ASSERT_EQ(::stat(hive.keyPath(kKey).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(SettingsRegistry, SaveKeepsOtherValuesAndTheirPositions) {
  TempDir dir;
  RegistryHive hive(dir.path());
  ASSERT_TRUE(hive.writeValues(kKey, {sz(u"zeta", u"old"), sz(u"foreign", u"stays")}));
  SettingsStore store;
  store.setString("zeta", u"new");
  store.setString("beta", u"b");
  store.setString("alpha", u"a");
  ASSERT_TRUE(store.saveToRegistry(hive, kKey));
  const auto values = hive.readValues(kKey);
  ASSERT_TRUE(values);
  std::vector<std::u16string> order;
  for (const auto& value : *values) order.push_back(value.name + u"=" + value.data);
  EXPECT_EQ(order,
            (std::vector<std::u16string>{u"zeta=new", u"foreign=stays", u"alpha=a", u"beta=b"}));
}

TEST(SettingsRegistry, SaveFailsWhenTheHiveCantHoldTheKey) {
  TempDir dir;
  dir.write("hive", "a file, not a folder\n");
  RegistryHive hive(dir.file("hive"));
  SettingsStore store;
  store.setString("a", u"1");
  EXPECT_FALSE(store.saveToRegistry(hive, kKey));
}

}  // namespace
}  // namespace parlane
