#include <gtest/gtest.h>
#include <stdlib.h>
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
  ASSERT_TRUE(first.acquire(5));
  EXPECT_EQ(InstanceLock::pathFor(5), runtime.file(InstanceLock::nameFor(5) + ".lock"));

  const pid_t child = ::fork();
  if (child == 0) {
    InstanceLock same;
    InstanceLock other;
    const bool ok = !same.acquire(5) && other.acquire(6);
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ::unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
}  // namespace parlane
