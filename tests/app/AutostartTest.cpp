#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "app/Autostart.h"
#include "support/TempDir.h"

namespace parlane {
namespace {

class AutostartTest : public testing::Test {
 protected:
  test::TempDir dir;
  std::string systemFolder = dir.file("etc/xdg/autostart");
  std::string userFolder = dir.file("config/autostart");
};

TEST_F(AutostartTest, AddQueryRemove) {
  Autostart autostart(systemFolder, userFolder);
  EXPECT_FALSE(autostart.query());
  ASSERT_TRUE(autostart.add("/usr/bin/parlane -inst2"));
  EXPECT_TRUE(autostart.query());
  const std::string entry = dir.read("etc/xdg/autostart/valtorin.desktop");
  EXPECT_NE(entry.find("Exec=/usr/bin/parlane -inst2\n"), std::string::npos);
  EXPECT_NE(entry.find("X-KDE-autostart-after=panel"), std::string::npos);
  autostart.remove();
  EXPECT_FALSE(autostart.query());
}

TEST_F(AutostartTest, QueryFindsTheEntryInEitherFolderIgnoringCase) {
  dir.write("config/autostart/VALTORIN.Desktop", "[Desktop Entry]\n");
  Autostart autostart(systemFolder, userFolder);
  EXPECT_TRUE(autostart.query());
  autostart.set(false, "parlane");
  EXPECT_FALSE(std::filesystem::exists(dir.file("config/autostart/VALTORIN.Desktop")));
}

TEST_F(AutostartTest, AddFallsBackToTheUserFolderWhenTheSystemOneIsRefused) {
  // A file where the system folder should be makes it unusable, even for root.
  dir.write("etc/xdg/autostart", "not a folder");
  Autostart autostart(systemFolder, userFolder);
  autostart.set(true, "/usr/bin/parlane");
  EXPECT_TRUE(std::filesystem::exists(dir.file("config/autostart/valtorin.desktop")));
  EXPECT_TRUE(autostart.query());
}

TEST_F(AutostartTest, ExecEscapesWhatTheLauncherWouldInterpret) {
  const std::string entry = Autostart::desktopEntry("/opt/a\\b/parlane 100%\nInjected=1");
  EXPECT_NE(entry.find("Exec=/opt/a\\\\b/parlane 100%% Injected=1\n"), std::string::npos);
}

}  // namespace
}  // namespace parlane
