#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "storage/GroupCommit.h"
#include "support/TempDir.h"

namespace parlane::test {
namespace {

// Every flush and every commit on one sequence of moments, so that a test can tell whether the
// flush that settled a commit began after the commit was asked for.
class FlushRecord {
 public:
  struct Flush {
    std::uint64_t began = 0;
    std::uint64_t ended = 0;
    int result = 0;
  };
  struct Commit {
    std::uint64_t asked = 0;
    std::uint64_t answered = 0;
    int result = 0;
  };

  std::uint64_t now() {
    std::lock_guard guard(mutex_);
    return ++moment_;
  }
  void flushed(std::uint64_t began, int result) {
    std::lock_guard guard(mutex_);
    flushes_.push_back(Flush{began, ++moment_, result});
  }
  void committed(std::uint64_t asked, int result) {
    std::lock_guard guard(mutex_);
    commits_.push_back(Commit{asked, ++moment_, result});
  }
  // Whether a flush began after the commit was asked for, ended before it was answered, and
  // gave its result.
  bool settledByALaterFlush(const Commit& commit) const {
    for (const Flush& flush : flushes_) {
      if (flush.began > commit.asked && flush.ended < commit.answered &&
          flush.result == commit.result) {
        return true;
      }
    }
    return false;
  }
  const std::vector<Flush>& flushes() const { return flushes_; }
  const std::vector<Commit>& commits() const { return commits_; }

 private:
  std::mutex mutex_;
  std::uint64_t moment_ = 0;
  std::vector<Flush> flushes_;
  std::vector<Commit> commits_;
};

// A flush with real work in it: an fsync of a file, as a folder's save ends.
class SyncedFile {
 public:
  explicit SyncedFile(const std::string& path)
      : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600)) {}
  ~SyncedFile() { ::close(fd_); }
  bool sync() { return ::write(fd_, "x", 1) == 1 && ::fsync(fd_) == 0; }

 private:
  int fd_;
};

TEST(GroupCommit, EveryCommitIsSettledByAFlushThatBeganAfterItAndCommitsShareFlushes) {
  const TempDir folder;
  SyncedFile file(folder.file("folder.txt"));
  FlushRecord record;
  int flushCount = 0;  // only the flushing thread touches it
  // Every third flush fails: each commit must get the result of the flush that covered it.
  GroupCommit commit([&] {
    const std::uint64_t began = record.now();
    const int result = (++flushCount % 3 == 0 || !file.sync()) ? -1 : 0;
    record.flushed(began, result);
    return result;
  });
  constexpr int kThreads = 8;
  constexpr int kCommitsEach = 100;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kCommitsEach; ++i) {
        const std::uint64_t asked = record.now();
        record.committed(asked, commit.commit());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  ASSERT_EQ(record.commits().size(), std::size_t{kThreads * kCommitsEach});
  for (const FlushRecord::Commit& done : record.commits()) {
    ASSERT_TRUE(record.settledByALaterFlush(done))
        << "a commit asked at " << done.asked << " and answered " << done.result << " at "
        << done.answered << " had no flush of its own";
  }
  // One flush each would make the callers wait in line behind every flush before theirs.
  EXPECT_LT(record.flushes().size(), record.commits().size());
}

struct FailingFlushCase {
  const char* name;
  bool throws;
};

class GroupCommitFailures : public ::testing::TestWithParam<FailingFlushCase> {};

TEST_P(GroupCommitFailures, AFailedFlushIsReportedAndTheNextCommitFlushesAgain) {
  int calls = 0;
  GroupCommit commit([&] {
    if (++calls == 1) {
      if (GetParam().throws) throw std::runtime_error("disk gone");
      return -1;
    }
    return 0;
  });
  EXPECT_NE(commit.commit(), 0);
  EXPECT_EQ(commit.commit(), 0);
  EXPECT_EQ(calls, 2);
}

INSTANTIATE_TEST_SUITE_P(Flushes, GroupCommitFailures,
                         ::testing::Values(FailingFlushCase{"ReturnsAnError", false},
                                           FailingFlushCase{"Throws", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace parlane::test
