// The configuration load and save chain: the registry key when it holds two values or more, else
// the user's file, else the default file after making the data folder; each failure's text.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/settings/ConfigurationChain.h"
#include "core/settings/RegistryHive.h"
#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"
#include "support/TempDir.h"

namespace parlane {
namespace {

using Source = ConfigurationLoad::Source;

constexpr const char* kKey = "Software\\Quortane SMS\\Parlane";

class Chain {
 public:
  Chain() {
    paths.workingDirectory = dir.file("work");
    paths.defaultConfigPath = dir.file("work/valtorin.cfg");
    paths.dataFolder = dir.file("home/.config/Quortane SMS");
    paths.userConfigPath = paths.dataFolder + "/valtorin.cfg";
    paths.registryKey = kKey;
  }
  RegistryHive hive() const { return RegistryHive(dir.file("home/.config/Quortane SMS/registry")); }

  test::TempDir dir;
  StartupPaths paths;
};

struct ChainCase {
  const char* name;
  std::optional<std::vector<RegistryValue>> registry;
  std::optional<std::string> userFile;
  std::optional<std::string> defaultFile;
  bool dataFolderBlocked;
  Source source;
  const char* from;           // the "from" setting afterwards
  const char16_t* errorText;  // with "%s" for the data folder's path
};

void PrintTo(const ChainCase& c, std::ostream* os) { *os << c.name; }

class ConfigurationChainLoad : public testing::TestWithParam<ChainCase> {};

TEST_P(ConfigurationChainLoad, TakesTheFirstSourceThatLoads) {
  const ChainCase& c = GetParam();
  Chain chain;
  if (c.registry) {
    ASSERT_TRUE(chain.hive().writeValues(kKey, *c.registry));
  }
  if (c.userFile) chain.dir.write("home/.config/Quortane SMS/valtorin.cfg", *c.userFile);
  if (c.defaultFile) chain.dir.write("work/valtorin.cfg", *c.defaultFile);
  if (c.dataFolderBlocked) chain.dir.write("home/.config", "a file where a folder should be");

  SettingsStore settings;
  const ConfigurationLoad load = loadConfiguration(settings, chain.hive(), chain.paths);
  EXPECT_EQ(load.source, c.source);
  EXPECT_EQ(settings.getString("from"), fromUtf8(c.from));
  std::u16string expectedError = c.errorText;
  if (const size_t at = expectedError.find(u"%s"); at != std::u16string::npos) {
    expectedError.replace(at, 2, fromUtf8(chain.paths.dataFolder));
  }
  EXPECT_EQ(load.errorText, expectedError);
  if (c.source == Source::DefaultFile) {
    struct stat st {};
    ASSERT_EQ(::stat(chain.paths.dataFolder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << "the data folder is private";
    ASSERT_EQ(::stat(chain.dir.file("home/.config").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << "so are the folders made on the way to it";
  }
}

std::vector<RegistryValue> values(std::initializer_list<const char16_t*> names) {
  std::vector<RegistryValue> result;
  for (const char16_t* name : names) result.push_back({name, "REG_SZ", u"registry"});
  return result;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConfigurationChainLoad,
    testing::Values(
        ChainCase{"RegistryWithTwoValues", values({u"from", u"modem.port"}), "from=user\n",
                  "from=default\n", false, Source::Registry, "registry", u""},
        ChainCase{"RegistryWithOneValueGivesWayToTheUserFile", values({u"from"}), "from=user\n",
                  "from=default\n", false, Source::UserFile, "user", u""},
        ChainCase{"EmptyRegistryKey", values({}), "from=user\n", std::nullopt, false,
                  Source::UserFile, "user", u""},
        ChainCase{"NoRegistryKey", std::nullopt, "from=user\n", "from=default\n", false,
                  Source::UserFile, "user", u""},
        ChainCase{"DefaultFileAfterMakingTheDataFolder", values({u"from"}), std::nullopt,
                  "from=default\n", false, Source::DefaultFile, "default", u""},
        ChainCase{"DataFolderCantBeMade", std::nullopt, std::nullopt, "from=default\n", true,
                  Source::Failed, "", u"Error creating directory %s"},
        ChainCase{"NothingToLoad", std::nullopt, std::nullopt, std::nullopt, false, Source::Failed,
                  "", u"Failed to initialize application! Please reinstall Parlane!"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConfigurationChain, RegistryProblemsComeBackAsNotes) {
  Chain chain;
  chain.dir.write("home/.config/Quortane SMS/registry/Software/Quortane SMS/Parlane",
                  "from\tREG_SZ\t\\q\nfrom\tREG_SZ\tregistry\nmodem.port\tREG_SZ\tttyUSB0\n");
  SettingsStore settings;
  const ConfigurationLoad load = loadConfiguration(settings, chain.hive(), chain.paths);
  EXPECT_EQ(load.source, Source::Registry);
  EXPECT_EQ(settings.getString("from"), u"registry");
  ASSERT_EQ(load.notes.size(), 1u);
  EXPECT_NE(load.notes[0].find("line 1 can't be read"), std::string::npos) << load.notes[0];
}

TEST(ConfigurationChain, SaveGoesToTheRegistryAndOnlyWhenThatFailsToTheUserFile) {
  Chain chain;
  SettingsStore settings;
  settings.setString("from", u"memory");
  RegistryHive hive = chain.hive();
  ASSERT_TRUE(saveConfiguration(settings, hive, chain.paths));
  EXPECT_TRUE(hive.keyExists(kKey));
  struct stat st {};
  EXPECT_NE(::stat(chain.paths.userConfigPath.c_str(), &st), 0);

  chain.dir.write("blocked", "a file, not a hive folder");
  RegistryHive blocked(chain.dir.file("blocked"));
  ASSERT_TRUE(saveConfiguration(settings, blocked, chain.paths));
  EXPECT_EQ(chain.dir.read("home/.config/Quortane SMS/valtorin.cfg"), "from=memory\r\n");
}

}  // namespace
}  // namespace parlane
