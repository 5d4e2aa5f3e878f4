#include <gtest/gtest.h>
#include <stdlib.h>

#include "core/settings/StartupPaths.h"
#include "support/TempDir.h"

namespace parlane {
namespace {

TEST(StartupPaths, InstanceNamesTheRegistryKeyAndTitle) {
  EXPECT_EQ(registryKeyFor(0), "Software\\Quortane SMS\\Parlane");
  EXPECT_EQ(registryKeyFor(5), "Software\\Quortane SMS\\Parlane 5");
  EXPECT_EQ(titleSuffixFor(0), "");
  EXPECT_EQ(titleSuffixFor(5), " instance 5");
}

struct LogCase {
  const char* name;
  const char* path;
  int instance;
  const char* expected;
};

void PrintTo(const LogCase& c, std::ostream* os) { *os << c.name; }

class InstanceLogPath : public testing::TestWithParam<LogCase> {};

TEST_P(InstanceLogPath, InsertsTheNumberBeforeTheExtension) {
  EXPECT_EQ(instanceLogPath(GetParam().path, GetParam().instance), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InstanceLogPath,
    testing::Values(
        LogCase{"NoInstance", "/var/log/valtorin.log", 0, "/var/log/valtorin.log"},
        LogCase{"InstanceBeforeTheExtension", "/var/log/valtorin.log", 5,
                "/var/log/valtorin.5.log"},
        LogCase{"InstanceAlreadyThere", "/var/log/valtorin.5.log", 5, "/var/log/valtorin.5.log"},
        LogCase{"TwoDigitInstanceAlreadyThere", "/var/log/valtorin.12.log", 12,
                "/var/log/valtorin.12.log"},
        LogCase{"TwoDigitInstance", "/var/log/valtorin.log", 12, "/var/log/valtorin.12.log"},
        LogCase{"NoExtension", "abc", 3, "abc"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StartupPaths, DefaultConfigurationFallsBackToTheInstalledDataFolder) {
  test::TempDir work;
  test::TempDir installed;
  installed.write("valtorin.cfg", "a=1\n");
  ::setenv("APPDATA", "/home/someone/.config", 1);
  StartupOptions options;
  options.instance = 5;
  StartupPaths paths = makeStartupPaths(options, work.path(), installed.path());
  EXPECT_EQ(paths.defaultConfigPath, installed.file("valtorin.cfg"));
  EXPECT_EQ(paths.userConfigPath, "/home/someone/.config/Quortane SMS/valtorin.cfg");
  EXPECT_EQ(paths.dataFolder, "/home/someone/.config/Quortane SMS");
  EXPECT_EQ(paths.registryKey, "Software\\Quortane SMS\\Parlane 5");

  work.write("valtorin.cfg", "a=2\n");
  paths = makeStartupPaths(options, work.path(), installed.path());
  EXPECT_EQ(paths.defaultConfigPath, work.file("valtorin.cfg"));

  options.systemProfile = true;
  paths = makeStartupPaths(options, work.path(), installed.path());
  EXPECT_EQ(paths.defaultConfigPath, work.file("zentrad.cfg"));
  EXPECT_EQ(paths.userConfigPath, "/var/lib/Quortane SMS/zentrad.cfg");
  ::unsetenv("APPDATA");
}

}  // namespace
}  // namespace parlane
