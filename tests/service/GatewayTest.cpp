#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "core/settings/SettingsStore.h"
#include "service/CServiceThread.h"
#include "service/Gateway.h"
#include "service/RecordingWindow.h"
#include "storage/FolderSchema.h"
#include "support/TempDir.h"

namespace parlane {
namespace {

// The names of this process's threads, as `top -H` shows them.
std::multiset<std::string> threadNames() {
  std::multiset<std::string> names;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string name;
    if (std::getline(comm, name)) names.insert(name);
  }
  return names;
}

TEST(Gateway, EveryThreadItStartsCarriesItsNameAndEndsAtTheStop) {
  test::TempDir dir;
  SettingsStore settings;
  settings.loadFromFile(PARLANE_SOURCE_DIR "/data/valtorin.cfg");
  for (StoreKind kind : kAllStores) {
    settings.setString(std::u16string(storeName(kind)) + u".filename", storeName(kind) + u".txt");
  }
  settings.setString("status.file", u"");
  test::RecordingWindow window;
  const std::set<std::string> expected{"serial",    "sender", "receiver", "service",
                                       "scheduler", "events", "spool"};
  {
    Gateway gateway(settings, GatewayOptions{.dataFolder = dir.path(),
                                             .emulator = true,
                                             .emulatorReplyPause = std::chrono::milliseconds(1),
                                             .emulatorSendPause = std::chrono::milliseconds(1)});
    ASSERT_TRUE(gateway.open());
    gateway.attach(window);
    gateway.start();
    const std::multiset<std::string> running = threadNames();
    for (const std::string& name : expected) {
      EXPECT_EQ(running.count(name), 1u) << name;
    }
    gateway.stop();
    gateway.detach();
  }
  for (const std::string& name : threadNames()) {
    EXPECT_EQ(expected.count(name), 0u) << name << " still runs";
  }
}

}  // namespace
}  // namespace parlane
