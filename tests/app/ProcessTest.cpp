// The program as real processes: single instance per number, the installer's -init, and the
// orderly shut-down on SIGTERM. Each runs headless in a throwaway profile.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "core/settings/RegistryHive.h"
#include "support/TempDir.h"

namespace parlane {
namespace {

using namespace std::chrono_literals;

class GatewayProcess : public testing::Test {
 protected:
  void SetUp() override { profile.write("work/valtorin.cfg", configuration("first")); }

  std::string configuration(const std::string& logName) const {
    return "# test profile\n"
           "logger.common=" +
           profile.file(logName + ".log") +
           "\n"
           "logger.level=0\n"
           "modem.emulation=1\n"
           "modem.port=ttyEMU0\n"
           "start.bubble=1\n"
           "start.connect=0\n"
           "start.welcome=0\n"
           "inbox.filename=inbox.txt\noutbox.filename=outbox.txt\nsent.filename=sent.txt\n"
           "failed.filename=failed.txt\naddrbook.filename=addrbook.txt\n";
  }

  pid_t start(const std::vector<std::string>& switches) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (::chdir(profile.file("work").c_str()) != 0) ::_exit(127);
      ::unsetenv("DISPLAY");
      ::unsetenv("WAYLAND_DISPLAY");
      ::unsetenv("APPDATA");
      ::setenv("HOME", profile.path().c_str(), 1);
      ::setenv("XDG_CONFIG_HOME", profile.file("config").c_str(), 1);
      ::setenv("XDG_RUNTIME_DIR", profile.path().c_str(), 1);
      const int devnull = ::open("/dev/null", O_WRONLY);
      ::dup2(devnull, 1);
      std::vector<char*> argv{const_cast<char*>(PARLANE_EXECUTABLE)};
      for (const auto& s : switches) argv.push_back(const_cast<char*>(s.c_str()));
      argv.push_back(nullptr);
      ::execv(PARLANE_EXECUTABLE, argv.data());
      ::_exit(127);
    }
    children.push_back(pid);
    return pid;
  }

  // The exit code, or nothing when the process is still running after `limit`.
  std::optional<int> waitExit(pid_t pid, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    do {
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        std::erase(children, pid);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(20ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return std::nullopt;
  }

  bool waitForLog(const std::string& name, const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < deadline) {
      if (profile.read(name).find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(50ms);
    }
    return false;
  }

  void TearDown() override {
    for (pid_t pid : children) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }

  RegistryHive hive() const { return RegistryHive(profile.file("config/Quortane SMS/registry")); }

  test::TempDir profile;
  std::vector<pid_t> children;
};

TEST_F(GatewayProcess, SecondCopyOfAnInstanceLeavesWhileAnotherInstanceRuns) {
  const pid_t first = start({"-inst5"});
  ASSERT_TRUE(waitForLog("first.5.log", "Parlane started instance 5"));

  const pid_t second = start({"/inst5"});
  EXPECT_EQ(waitExit(second, 20s), std::optional<int>(0));
  EXPECT_FALSE(waitExit(first, 0ms).has_value()) << "the first copy must keep running";

  const pid_t other = start({"-inst6"});
  ASSERT_TRUE(waitForLog("first.6.log", "Parlane started instance 6"));
  EXPECT_FALSE(waitExit(first, 0ms).has_value());

  for (pid_t pid : {first, other}) {
    ::kill(pid, SIGTERM);
    EXPECT_EQ(waitExit(pid, 20s), std::optional<int>(0));
  }
  // The orderly shut-down saved each instance's configuration under its own key.
  EXPECT_TRUE(hive().keyExists("Software\\Quortane SMS\\Parlane 5"));
  EXPECT_TRUE(hive().keyExists("Software\\Quortane SMS\\Parlane 6"));
  EXPECT_TRUE(waitForLog("first.5.log", "Parlane stopped"));
}

TEST_F(GatewayProcess, InitLeavesTheDefaultsInTheRegistryAndALaterStartReadsThem) {
  const pid_t init = start({"-init"});
  ASSERT_EQ(waitExit(init, 20s), std::optional<int>(0));
  const auto values = hive().readValues("Software\\Quortane SMS\\Parlane");
  ASSERT_TRUE(values.has_value());
  EXPECT_GE(values->size(), 10u);

  // The working directory's file now names another log; the registry still wins.
  profile.write("work/valtorin.cfg", configuration("second"));
  const pid_t gateway = start({});
  ASSERT_TRUE(waitForLog("first.log", "Parlane started"));
  ::kill(gateway, SIGINT);
  EXPECT_EQ(waitExit(gateway, 20s), std::optional<int>(0));
}

TEST_F(GatewayProcess, MessageIdContinuesAfterTheLargestIdInTheFolders) {
  profile.write("work/valtorin.cfg", configuration("first") + "message.id=3\n");
  profile.write("config/Quortane SMS/sent.txt",
                "00000001\t1700000000\t+4917012345\tsms\t1\thello\t\t1\t0\t500\t7\t\t86400\t\r\n");
  const pid_t gateway = start({});
  ASSERT_TRUE(waitForLog("first.log", "Parlane started"));
  ::kill(gateway, SIGTERM);
  ASSERT_EQ(waitExit(gateway, 20s), std::optional<int>(0));

  const auto values = hive().readValues("Software\\Quortane SMS\\Parlane");
  ASSERT_TRUE(values.has_value());
  const auto found = std::find_if(values->begin(), values->end(),
                                  [](const RegistryValue& v) { return v.name == u"message.id"; });
  ASSERT_NE(found, values->end());
  EXPECT_EQ(found->data, u"500");
  // The record itself survived the shut-down's write-back.
  EXPECT_NE(profile.read("config/Quortane SMS/sent.txt").find("hello"), std::string::npos);
}

TEST_F(GatewayProcess, MissingConfigurationEndsWithCodeZeroAndAMessage) {
  ::unlink(profile.file("work/valtorin.cfg").c_str());
  const pid_t gateway = start({"-inst9"});
  EXPECT_EQ(waitExit(gateway, 20s), std::optional<int>(0));
}

TEST_F(GatewayProcess, RegServerLeavesAtOnce) {
  EXPECT_EQ(waitExit(start({"-RegServer"}), 20s), std::optional<int>(0));
}

}  // namespace
}  // namespace parlane
