#include <gtest/gtest.h>

#include <condition_variable>
#include <ctime>
#include <mutex>
#include <thread>

#include "core/util/Clock.h"

namespace parlane {
namespace {

TEST(ManualClock, MovesOnlyWhenAdvanced) {
  ManualClock clock(5'000, 1'700'000'000);
  EXPECT_EQ(clock.monotonicMs(), 5'000);
  EXPECT_EQ(clock.wallSeconds(), 1'700'000'000);
  clock.advance(1'500);
  EXPECT_EQ(clock.monotonicMs(), 6'500);
  EXPECT_EQ(clock.wallTime().tv_sec, 1'700'000'001);
  EXPECT_EQ(clock.wallTime().tv_nsec, 500'000'000);
}

TEST(ManualClock, AdvanceCallsTheHook) {
  ManualClock clock;
  int calls = 0;
  clock.setOnAdvance([&] { ++calls; });
  clock.advance(10);
  clock.advance(0);
  clock.setOnAdvance(nullptr);
  clock.advance(10);
  EXPECT_EQ(calls, 2);
}

TEST(ManualClock, WaitEndsWhenTheDeadlineIsReachedByAnAdvance) {
  ManualClock clock(0);
  std::mutex mutex;
  std::condition_variable condition;
  std::thread mover([&] { clock.advance(250); });
  std::unique_lock lock(mutex);
  EXPECT_FALSE(clock.waitUntil(condition, lock, 250, [] { return false; }));
  EXPECT_GE(clock.monotonicMs(), 250);
  lock.unlock();
  mover.join();
}

TEST(ManualClock, WaitEndsAsSoonAsTheConditionHolds) {
  ManualClock clock(0);
  std::mutex mutex;
  std::condition_variable condition;
  bool ready = false;
  std::thread setter([&] {
    std::lock_guard guard(mutex);
    ready = true;
    condition.notify_all();
  });
  std::unique_lock lock(mutex);
  EXPECT_TRUE(clock.waitUntil(condition, lock, 1'000, [&] { return ready; }));
  EXPECT_EQ(clock.monotonicMs(), 0) << "no time passed on the manual clock";
  lock.unlock();
  setter.join();
}

TEST(SystemClock, ReadsTheRealTime) {
  const Clock& clock = Clock::system();
  const std::int64_t first = clock.monotonicMs();
  EXPECT_GE(clock.monotonicMs(), first);
  const std::time_t before = std::time(nullptr);
  const std::time_t wall = clock.wallSeconds();
  EXPECT_GE(wall, before);
  EXPECT_LE(wall, std::time(nullptr));
}

TEST(SystemClock, WaitReturnsAtOnceForAPastDeadlineOrAReadyCondition) {
  const Clock& clock = Clock::system();
  std::mutex mutex;
  std::condition_variable condition;
  std::unique_lock lock(mutex);
  EXPECT_FALSE(clock.waitUntil(condition, lock, clock.monotonicMs() - 1, [] { return false; }));
  EXPECT_TRUE(clock.waitUntil(condition, lock, clock.monotonicMs() + 60'000, [] { return true; }));
}

}  // namespace
}  // namespace parlane
