// Two databases on one folder file (two copies of the program whose settings name the same path)
// would each write over the other's records; the second one is refused instead.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include "DatabaseFixture.h"
#include "StoresFixture.h"

namespace parlane::test {
namespace {

// Runs `attempt` in a child process (another copy of the program) and returns its exit code.
int inOtherProcess(const std::function<int()>& attempt) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(attempt());
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

TEST(FileDatabaseSharing, SecondOpenerIsRefusedWhileTheFirstHoldsTheFile) {
  DatabaseFixture f;
  auto db = f.loaded("01\ta\tx\r\n");
  ASSERT_EQ(f.loadResult, 0);
  const auto secondOpener = [&] {
    auto other = f.make();
    if (other->load(true) != -1 || errno != EWOULDBLOCK) return 1;
    other->put(rec({u"99", u"lost", u""}));
    if (other->save() != -1) return 2;
    if (other->truncate() != -1) return 3;
    return 0;
  };
  EXPECT_EQ(inOtherProcess(secondOpener), 0);
  EXPECT_EQ(secondOpener(), 0) << "a second database in the same process";

  // The lock passes to the new file of every rewrite, and stays through appends.
  db->put(rec({u"01", u"A", u"X"}));
  ASSERT_EQ(db->save(), 0);
  EXPECT_EQ(inOtherProcess(secondOpener), 0);
  ASSERT_EQ(db->compact(), 0);
  EXPECT_EQ(inOtherProcess(secondOpener), 0);
  db->put(rec({u"02", u"b", u"y"}));
  ASSERT_EQ(db->save(), 0);
  EXPECT_EQ(inOtherProcess(secondOpener), 0);
  EXPECT_EQ(f.file(), "01\tA\tX\r\n02\tb\ty\r\n");

  db.reset();
  EXPECT_EQ(inOtherProcess([&] {
              auto other = f.make();
              return other->load(true) == 0 && other->count() == 2 ? 0 : 1;
            }),
            0);
}

TEST(FileDatabaseSharing, FileMadeAtStartUpIsLockedToo) {
  DatabaseFixture f;
  auto db = f.make();
  ASSERT_EQ(db->truncate(), 0);
  EXPECT_EQ(inOtherProcess([&] {
              auto other = f.make();
              return other->load(true) == -1 && errno == EWOULDBLOCK ? 0 : 1;
            }),
            0);
}

TEST(FileDatabaseSharing, SecondCopyGetsTheStartUpErrorWithAReason) {
  StoresFixture first;
  ASSERT_TRUE(first.stores->open());
  MessageStores second(first.settings, first.dir.path(), 0);
  StoreOpenFailure failure;
  EXPECT_FALSE(second.open(&failure));
  EXPECT_EQ(failure.message(),
            u"Error opening file (inbox.txt): the file is in use by another program (is another "
            u"copy of Parlane using the same folder file?)");
}

}  // namespace
}  // namespace parlane::test
