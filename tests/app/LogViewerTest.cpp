#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "app/LogViewer.h"
#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"
#include "support/TempDir.h"

namespace parlane {
namespace {

class LogViewerTest : public testing::Test {
 protected:
  test::TempDir dir_;
  SettingsStore settings_;
  std::string path_ = dir_.file("valtorin.log");
};

// Waits for a file that a detached program writes.
std::string waitForFile(const test::TempDir& dir, const std::string& name) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string content = dir.read(name);
    if (!content.empty() && content.back() == '\n') return content;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return {};
}

void expectNoChildLeft() {
  errno = 0;
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD) << "the viewer must not be our child (no zombie)";
}

TEST_F(LogViewerTest, StartsTheConfiguredProgramDetached) {
  dir_.write("viewer.sh",
             "#!/bin/sh\nprintf '%s|%s\\n' \"$#\" \"$1\" > \"$(dirname \"$0\")/seen\"\n");
  ::chmod(dir_.file("viewer.sh").c_str(), 0700);
  settings_.setString("logger.viewer", fromUtf8(dir_.file("viewer.sh")));
  openLogViewer(settings_, path_);
  expectNoChildLeft();
  EXPECT_EQ(waitForFile(dir_, "seen"), "1|" + path_ + "\n");
}

TEST_F(LogViewerTest, FallsBackToTheDesktopHandler) {
  dir_.write("bin/xdg-open", "#!/bin/sh\necho \"$1\" > \"$(dirname \"$0\")/../seen\"\n");
  ::chmod(dir_.file("bin/xdg-open").c_str(), 0700);
  const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
  ::setenv("PATH", (dir_.file("bin") + ":" + oldPath).c_str(), 1);
  openLogViewer(settings_, path_);
  ::setenv("PATH", oldPath.c_str(), 1);
  expectNoChildLeft();
  EXPECT_EQ(waitForFile(dir_, "seen"), path_ + "\n");
}

TEST_F(LogViewerTest, WithAMissingProgramDoesNothing) {
  settings_.setString("logger.viewer", u"/nonexistent/viewer");
  openLogViewer(settings_, path_);
  expectNoChildLeft();
  EXPECT_FALSE(std::filesystem::exists(dir_.file("seen")));
}

}  // namespace
}  // namespace parlane
