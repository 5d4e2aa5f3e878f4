#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "app/InstanceLock.h"
#include "support/TempDir.h"

namespace parlane {
namespace {

TEST(InstanceLock, NameEndsInTheHexOfTheInstancePlusOffset) {
  EXPECT_EQ(InstanceLock::nameFor(0), "bc8353a8-3079-486d-b3cf-e16c3ee1c254");
  EXPECT_EQ(InstanceLock::nameFor(5), "bc8353a8-3079-486d-b3cf-e16c3ee1c259");
  EXPECT_EQ(InstanceLock::nameFor(9999), "bc8353a8-3079-486d-b3cf-e16c3ee1e963");
}

// flock locks belong to the open file, so a second holder in another process is refused while
// a different instance number is free.
TEST(InstanceLock, SecondHolderOfTheSameInstanceIsRefused) {
  test::TempDir runtime;
  ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
  InstanceLock first;
  ASSERT_EQ(first.acquire(5), InstanceLock::Result::Acquired);
  EXPECT_EQ(InstanceLock::pathFor(5), runtime.file(InstanceLock::nameFor(5) + ".lock"));

  const pid_t child = ::fork();
  if (child == 0) {
    InstanceLock same;
    InstanceLock other;
    const bool ok = same.acquire(5) == InstanceLock::Result::HeldByAnotherCopy &&
                    other.acquire(6) == InstanceLock::Result::Acquired;
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ::unsetenv("XDG_RUNTIME_DIR");
}

struct LockFolderCase {
  const char* name;
  const char* cacheHome;  // below the temporary folder; null: unset
  const char* home;       // below the temporary folder; null: unset
  const char* folder;     // where the lock is, below the temporary folder; null: /tmp
};

void PrintTo(const LockFolderCase& c, std::ostream* os) { *os << c.name; }

class LockWithoutARuntimeFolder : public testing::TestWithParam<LockFolderCase> {
 protected:
  void SetUp() override {
    ::unsetenv("XDG_RUNTIME_DIR");
    saved_ = std::getenv("HOME") ? std::getenv("HOME") : "";
  }
  void TearDown() override {
    ::setenv("HOME", saved_.c_str(), 1);
    ::unsetenv("XDG_CACHE_HOME");
  }
  test::TempDir dir;

 private:
  std::string saved_;
};

TEST_P(LockWithoutARuntimeFolder, IsInAPrivateFolderOfTheUser) {
  const LockFolderCase& c = GetParam();
  if (c.cacheHome != nullptr) {
    ::setenv("XDG_CACHE_HOME", dir.file(c.cacheHome).c_str(), 1);
  } else {
    ::unsetenv("XDG_CACHE_HOME");
  }
  if (c.home != nullptr) {
    ::setenv("HOME", dir.file(c.home).c_str(), 1);
  } else {
    ::unsetenv("HOME");
  }
  const int instance = 4711;
  if (c.folder == nullptr) {
    EXPECT_EQ(InstanceLock::pathFor(instance), "/tmp/" + InstanceLock::nameFor(instance) + "-" +
                                                   std::to_string(::geteuid()) + ".lock");
    return;
  }
  const std::string folder = dir.file(c.folder);
  EXPECT_EQ(InstanceLock::pathFor(instance),
            folder + "/" + InstanceLock::nameFor(instance) + ".lock");
  // Another user got to the shared /tmp name first: that changes nothing here.
  const std::string shared =
      "/tmp/" + InstanceLock::nameFor(instance) + "-" + std::to_string(::geteuid()) + ".lock";
  const bool planted = ::geteuid() == 0 && ::access(shared.c_str(), F_OK) != 0;
  if (planted) {
    std::ofstream(shared) << "";
    ::chown(shared.c_str(), 65534, 65534);
  }
  InstanceLock first;
  const InstanceLock::Result result = first.acquire(instance);
  if (planted) ::unlink(shared.c_str());
  ASSERT_EQ(result, InstanceLock::Result::Acquired) << first.failureText();
  struct stat st {};
  ASSERT_EQ(::stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  InstanceLock second;
  EXPECT_EQ(second.acquire(instance), InstanceLock::Result::HeldByAnotherCopy);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LockWithoutARuntimeFolder,
    testing::Values(LockFolderCase{"CacheHome", "cache", "home", "cache/parlane"},
                    LockFolderCase{"HomeCache", nullptr, "home", "home/.cache/parlane"},
                    LockFolderCase{"NeitherLeavesTmp", nullptr, nullptr, nullptr}),
    [](const testing::TestParamInfo<LockFolderCase>& info) { return info.param.name; });

TEST(InstanceLock, APrivateFolderOthersMayWriteToIsRefused) {
  test::TempDir dir;
  ::unsetenv("XDG_RUNTIME_DIR");
  ::setenv("XDG_CACHE_HOME", dir.path().c_str(), 1);
  ::mkdir(dir.file("parlane").c_str(), 0700);
  ::chmod(dir.file("parlane").c_str(), 0777);
  InstanceLock lock;
  EXPECT_EQ(lock.acquire(4712), InstanceLock::Result::Failed);
  EXPECT_NE(lock.failureText().find("not a private folder"), std::string::npos)
      << lock.failureText();
  ::unsetenv("XDG_CACHE_HOME");
}

// Anything but a running copy is a failure with a reason, never the silent "already running".
TEST(InstanceLock, ALockThatCantBeTakenSaysWhy) {
  test::TempDir runtime;
  ::setenv("XDG_RUNTIME_DIR", runtime.file("missing").c_str(), 1);
  InstanceLock missingFolder;
  EXPECT_EQ(missingFolder.acquire(7), InstanceLock::Result::Failed);
  EXPECT_EQ(
      missingFolder.failureText(),
      "Can't take the instance lock " + InstanceLock::pathFor(7) + ": No such file or directory");

  ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
  ASSERT_EQ(::symlink(runtime.file("elsewhere").c_str(),
                      runtime.file(InstanceLock::nameFor(7) + ".lock").c_str()),
            0);
  InstanceLock symlinked;
  EXPECT_EQ(symlinked.acquire(7), InstanceLock::Result::Failed);
  EXPECT_FALSE(symlinked.failureText().empty());

  if (::geteuid() == 0) {
    // A file of another user under the name.
    const std::string path = runtime.file(InstanceLock::nameFor(8) + ".lock");
    runtime.write(InstanceLock::nameFor(8) + ".lock", "");
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    InstanceLock foreign;
    EXPECT_EQ(foreign.acquire(8), InstanceLock::Result::Failed);
    EXPECT_NE(foreign.failureText().find("another user"), std::string::npos);
  }
  ::unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
}  // namespace parlane
