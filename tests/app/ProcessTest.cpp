// The program as real processes: single instance per number, the installer's -init, and the
// orderly shut-down on SIGTERM. Each runs headless in a throwaway profile.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "app/InstanceLock.h"
#include "core/settings/RegistryHive.h"
#include "core/util/Utf.h"
#include "support/ChildProcess.h"
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

  // `prepare` runs in the child just before the program starts, to change its world; it exits
  // the child with kCantPrepare when the change isn't possible here.
  pid_t start(const std::vector<std::string>& switches, const std::function<void()>& prepare = {}) {
    test::ProcessLaunch launch;
    launch.program = PARLANE_EXECUTABLE;
    launch.arguments = switches;
    launch.directory = profile.file("work");
    launch.environment = {{"HOME", profile.path()},
                          {"XDG_CONFIG_HOME", profile.file("config")},
                          {"XDG_RUNTIME_DIR", profile.path()}};
    launch.unsetEnvironment = {"DISPLAY", "WAYLAND_DISPLAY", "APPDATA"};
    launch.errorFile = profile.file("stderr.txt");
    launch.prepare = prepare;
    auto child = std::make_unique<test::ChildProcess>(launch);
    const pid_t pid = child->pid();
    children[pid] = std::move(child);
    return pid;
  }

  // The exit code, or nothing when the process is still running after `limit`.
  std::optional<int> waitExit(pid_t pid, std::chrono::milliseconds limit) {
    return children.at(pid)->waitExit(limit);
  }

  bool waitForLog(const std::string& name, const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < deadline) {
      if (profile.read(name).find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(50ms);
    }
    return false;
  }

  RegistryHive hive() const { return RegistryHive(profile.file("config/Quortane SMS/registry")); }

  // The settings of configuration(logName) as registry values, in the same order.
  std::vector<RegistryValue> registryValues(const std::string& logName) const {
    std::vector<RegistryValue> values;
    const std::string text = configuration(logName);
    for (size_t start = 0, end; start < text.size(); start = end + 1) {
      end = text.find('\n', start);
      const std::string line = text.substr(start, end - start);
      const size_t equals = line.find('=');
      if (line.empty() || line[0] == '#' || equals == std::string::npos) continue;
      values.push_back(
          {fromUtf8(line.substr(0, equals)), "REG_SZ", fromUtf8(line.substr(equals + 1))});
    }
    return values;
  }

  // Runs the child in a mount namespace of its own with `folder` mounted over `target`, so that
  // fixed system paths land in the profile. Exits with kCantPrepare where that isn't allowed.
  static void mountOver(const std::string& folder, const std::string& target) {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount(folder.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0) {
      ::_exit(kCantPrepare);
    }
  }

  static constexpr int kCantPrepare = 77;

  test::TempDir profile;
  // Killed, unless they have ended, before the profile goes.
  std::map<pid_t, std::unique_ptr<test::ChildProcess>> children;
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

TEST_F(GatewayProcess, InstanceNumberAfterABlankRunsThatInstance) {
  const pid_t gateway = start({"-inst", "2"});
  ASSERT_TRUE(waitForLog("first.2.log", "Parlane started instance 2"))
      << profile.read("stderr.txt");
  ::kill(gateway, SIGTERM);
  EXPECT_EQ(waitExit(gateway, 20s), std::optional<int>(0));
}

TEST_F(GatewayProcess, MistypedSwitchStopsWithCodeTwoAndSaysWhich) {
  EXPECT_EQ(waitExit(start({"-inst", "two"}), 20s), std::optional<int>(2));
  EXPECT_EQ(waitExit(start({"-noicn"}), 20s), std::optional<int>(2));
  const std::string errors = profile.read("stderr.txt");
  EXPECT_NE(errors.find("Bad instance number 'two'"), std::string::npos) << errors;
  EXPECT_NE(errors.find("Unknown switch '-noicn'"), std::string::npos) << errors;
  // Nothing started: no log, no configuration written.
  EXPECT_FALSE(hive().keyExists("Software\\Quortane SMS\\Parlane"));
}

// Two copies whose settings name the same folder files (here: one instance in two sessions with
// their own runtime folders): the second one stops at start-up and says why, and the first one's
// folders are left to it.
TEST_F(GatewayProcess, SecondCopyOnTheSameFolderFilesIsRefusedWithAReason) {
  profile.write("run1/.keep", "");
  profile.write("run2/.keep", "");
  const std::string run1 = profile.file("run1");
  const std::string run2 = profile.file("run2");
  const pid_t first = start({}, [&] { ::setenv("XDG_RUNTIME_DIR", run1.c_str(), 1); });
  ASSERT_TRUE(waitForLog("first.log", "Parlane started"));

  const pid_t second = start({}, [&] { ::setenv("XDG_RUNTIME_DIR", run2.c_str(), 1); });
  EXPECT_EQ(waitExit(second, 20s), std::optional<int>(0)) << "the second copy kept running";
  const std::string errors = profile.read("stderr.txt");
  EXPECT_NE(errors.find("Error opening file (inbox.txt): the file is in use by another program"),
            std::string::npos)
      << errors;
  EXPECT_FALSE(waitExit(first, 0ms).has_value()) << "the first copy must keep running";
  ::kill(first, SIGTERM);
  EXPECT_EQ(waitExit(first, 20s), std::optional<int>(0));
}

unsigned modeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}

// A hand edit that left an unknown escape on the key's first line: the rest of the key is still
// the configuration, and the save at exit keeps both the line and every value.
TEST_F(GatewayProcess, UnreadableRegistryLineIsSkippedAndKept) {
  const std::string key = "Software\\Quortane SMS\\Parlane";
  auto values = registryValues("registry");
  values.push_back({u"user.marker", "REG_SZ", u"kept"});
  ASSERT_TRUE(hive().writeValues(key, values));
  const std::string badLine = "status.file\tREG_SZ\tC:\\status\\q.txt";
  std::string text = profile.read("config/Quortane SMS/registry/Software/Quortane SMS/Parlane");
  text.insert(text.find('\n') + 1, badLine + "\n");
  profile.write("config/Quortane SMS/registry/Software/Quortane SMS/Parlane", text);

  const pid_t gateway = start({});
  ASSERT_TRUE(waitForLog("registry.log", "Parlane started")) << "the registry key was not used";
  EXPECT_TRUE(waitForLog("registry.log", "line 2 can't be read; it is skipped"));
  ::kill(gateway, SIGTERM);
  ASSERT_EQ(waitExit(gateway, 20s), std::optional<int>(0));

  const std::string saved =
      profile.read("config/Quortane SMS/registry/Software/Quortane SMS/Parlane");
  EXPECT_NE(saved.find(badLine + "\n"), std::string::npos) << saved;
  const auto reread = hive().readValues(key);
  ASSERT_TRUE(reread.has_value());
  for (const auto& value : values) {
    if (value.name == u"autostart") continue;  // rewritten at every start
    EXPECT_NE(std::find(reread->begin(), reread->end(), value), reread->end())
        << toUtf8(value.name);
  }
}

// Settings after a value too large to read are still read: the folders' file names among them.
TEST_F(GatewayProcess, OversizedRegistryValueIsSkippedAndStartUpGoesOn) {
  auto values = registryValues("registry");
  values.insert(values.begin() + 2, {u"address.0", "REG_SZ", std::u16string(3000, u'5')});
  ASSERT_TRUE(hive().writeValues("Software\\Quortane SMS\\Parlane", values));
  const pid_t gateway = start({});
  ASSERT_TRUE(waitForLog("registry.log", "Parlane started"))
      << "exit " << waitExit(gateway, 0ms).value_or(-1) << ": " << profile.read("stderr.txt");
  EXPECT_TRUE(waitForLog("registry.log", "value \"address.0\" is too large to read"));
  ::kill(gateway, SIGTERM);
  EXPECT_EQ(waitExit(gateway, 20s), std::optional<int>(0));
}

// Anything in the way of the lock but another running copy is said, and the exit code shows it.
TEST_F(GatewayProcess, InstanceLockThatCantBeTakenIsReportedWithANonZeroExit) {
  const std::string lockPath = profile.file("run/" + InstanceLock::nameFor(0) + ".lock");
  profile.write("run/" + InstanceLock::nameFor(0) + ".lock/not-a-lock-file", "");
  const std::string runtime = profile.file("run");
  const pid_t gateway = start({}, [&] { ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1); });
  EXPECT_EQ(waitExit(gateway, 20s), std::optional<int>(1));
  const std::string errors = profile.read("stderr.txt");
  EXPECT_NE(errors.find("Can't take the instance lock " + lockPath + ": Is a directory"),
            std::string::npos)
      << errors;
}

// Without $XDG_RUNTIME_DIR the lock lives in /tmp, which every user shares: a lock file under the
// bare name (another user's copy) must not keep this user's copy from starting.
TEST_F(GatewayProcess, WithoutARuntimeFolderAnotherUsersLockDoesNotStopTheProgram) {
  const int instance = 9000 + static_cast<int>(::getpid() % 900);
  const std::string bareName = "/tmp/" + InstanceLock::nameFor(instance) + ".lock";
  const int foreign = ::open(bareName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (foreign < 0) GTEST_SKIP() << bareName << " is there already";
  ASSERT_EQ(::flock(foreign, LOCK_EX | LOCK_NB), 0);

  const std::string number = std::to_string(instance);
  const pid_t gateway = start({"-inst" + number}, [] { ::unsetenv("XDG_RUNTIME_DIR"); });
  const bool started = waitForLog("first." + number + ".log", "Parlane started");
  ::kill(gateway, SIGTERM);
  waitExit(gateway, 20s);
  ::unlink(bareName.c_str());
  ::close(foreign);
  ::unlink(("/tmp/" + InstanceLock::nameFor(instance) + "-" + std::to_string(::geteuid()) + ".lock")
               .c_str());
  EXPECT_TRUE(started) << profile.read("stderr.txt");
}

TEST_F(GatewayProcess, CfgserviceInitWritesTheSystemAccountsKey) {
  profile.write("work/zentrad.cfg", configuration("system"));
  profile.write("varlib/.keep", "");
  const std::string varLib = profile.file("varlib");
  const pid_t init = start({"-cfgservice", "-init"}, [&] { mountOver(varLib, "/var/lib"); });
  const auto code = waitExit(init, 20s);
  if (code == kCantPrepare) GTEST_SKIP() << "no mount namespace here";
  ASSERT_EQ(code, std::optional<int>(0)) << profile.read("stderr.txt");

  const auto system = RegistryHive(profile.file("varlib/Quortane SMS/registry"))
                          .readValues("Software\\Quortane SMS\\Parlane");
  ASSERT_TRUE(system.has_value()) << "nothing in the system account's key";
  EXPECT_GE(system->size(), 10u);
  EXPECT_FALSE(hive().keyExists("Software\\Quortane SMS\\Parlane"))
      << "the user's own configuration was written";
}

// With HOME, XDG_CONFIG_HOME and APPDATA all unset the data folder is still under the user's home
// (from the password database), and the folders made for it are private.
TEST_F(GatewayProcess, WithoutHomeTheDataFolderIsInTheHomeOfThePasswordDatabase) {
  const passwd* entry = ::getpwuid(::getuid());
  ASSERT_NE(entry, nullptr);
  const std::string home = entry->pw_dir;
  struct stat st {};
  if (::stat(home.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) GTEST_SKIP() << "no home folder";
  const bool rootFolderBefore = ::stat("/Quortane SMS", &st) == 0;
  profile.write("home/.keep", "");
  const std::string fakeHome = profile.file("home");

  const pid_t gateway = start({}, [&] {
    ::unsetenv("HOME");
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("APPDATA");
    mountOver(fakeHome, home);
  });
  const bool started = waitForLog("first.log", "Parlane started");
  if (!started && waitExit(gateway, 0ms) == kCantPrepare) GTEST_SKIP() << "no mount namespace";
  ::kill(gateway, SIGTERM);
  EXPECT_EQ(waitExit(gateway, 20s), std::optional<int>(0));
  ASSERT_TRUE(started) << profile.read("stderr.txt");

  EXPECT_EQ(modeOf(profile.file("home/.config/Quortane SMS/inbox.txt")), 0600u);
  EXPECT_EQ(modeOf(profile.file("home/.config/Quortane SMS")), 0700u);
  EXPECT_EQ(modeOf(profile.file("home/.config")), 0700u);
  if (!rootFolderBefore) {
    EXPECT_NE(::stat("/Quortane SMS", &st), 0) << "the data folder went to the root";
  }
}

}  // namespace
}  // namespace parlane
