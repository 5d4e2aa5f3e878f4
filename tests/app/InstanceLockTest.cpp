#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST(InstanceLock, WithoutARuntimeFolderTheNameInTmpCarriesTheUserId) {
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(InstanceLock::pathFor(5),
            "/tmp/bc8353a8-3079-486d-b3cf-e16c3ee1c259-" + std::to_string(::geteuid()) + ".lock");
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
