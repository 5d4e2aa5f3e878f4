#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <vector>

#include "core/util/Clock.h"
#include "service/ScheduledActions.h"
#include "service/ServiceScheduler.h"

namespace parlane {
namespace {

// Keeps the ids run, with the manual time they ran at; `oneShots` ask for removal.
class RecordingActions : public ScheduledActions {
 public:
  RecordingActions(const Clock& clock, std::set<int> oneShots = {})
      : clock_(clock), oneShots_(std::move(oneShots)) {}

  bool runScheduled(int id) override {
    std::lock_guard guard(mutex_);
    runs_.push_back({id, clock_.monotonicMs()});
    changed_.notify_all();
    return oneShots_.count(id) != 0;
  }

  std::vector<std::pair<int, std::int64_t>> runs() const {
    std::lock_guard guard(mutex_);
    return runs_;
  }
  std::vector<std::int64_t> timesOf(int id) const {
    std::vector<std::int64_t> times;
    for (const auto& [run, at] : runs()) {
      if (run == id) times.push_back(at);
    }
    return times;
  }
  bool waitForRuns(std::size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return runs_.size() >= count; });
  }

 private:
  const Clock& clock_;
  std::set<int> oneShots_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::pair<int, std::int64_t>> runs_;
};

class SchedulerTest : public ::testing::Test {
 protected:
  // Moves the clock in steps of `step` ms for `total` ms, running what is due after each.
  void runFor(std::int64_t total, std::int64_t step = 10) {
    for (std::int64_t passed = 0; passed < total; passed += step) {
      clock.advance(step);
      scheduler.runDue();
    }
  }
  std::int64_t since(std::int64_t at) const { return at - start; }
  std::vector<std::int64_t> relative(const std::vector<std::int64_t>& times) const {
    std::vector<std::int64_t> result;
    for (std::int64_t at : times) result.push_back(since(at));
    return result;
  }

  ManualClock clock{1'000'000};
  std::int64_t start = clock.monotonicMs();
  RecordingActions actions{clock, {5, 8}};
  ServiceScheduler scheduler{clock};

  void SetUp() override { scheduler.setActions(&actions); }
};

TEST_F(SchedulerTest, PeriodicEntryRunsEveryPeriodCountedFromItsLastRun) {
  scheduler.add(1, 1000, true);
  runFor(3500);
  EXPECT_EQ(relative(actions.timesOf(1)), (std::vector<std::int64_t>{1000, 2000, 3000}));
  EXPECT_TRUE(scheduler.isScheduled(1));
}

TEST_F(SchedulerTest, EntryNotStartedNowRunsAtTheFirstTickThenEveryPeriod) {
  scheduler.add(9, 1000, false);
  scheduler.runDue();
  runFor(2000);
  EXPECT_EQ(relative(actions.timesOf(9)), (std::vector<std::int64_t>{0, 1000, 2000}));
}

TEST_F(SchedulerTest, OneShotEntriesRunOnceAndAreRemoved) {
  scheduler.add(8, 3000, true);
  scheduler.add(5, 500, true);
  runFor(10000, 100);
  EXPECT_EQ(relative(actions.timesOf(5)), (std::vector<std::int64_t>{500}));
  EXPECT_EQ(relative(actions.timesOf(8)), (std::vector<std::int64_t>{3000}));
  EXPECT_FALSE(scheduler.isScheduled(5));
  EXPECT_FALSE(scheduler.isScheduled(8));
}

// The end of a send pause starts the next send, whose result may set the next pause before the
// scheduler has settled the one that ended: that pause stays and runs its full period.
TEST_F(SchedulerTest, OneShotEntryAddedAgainWhileItsActionRunsStays) {
  class AddingAgain : public RecordingActions {
   public:
    AddingAgain(const Clock& clock, ServiceScheduler& timers)
        : RecordingActions(clock, {8}), timers_(timers) {}
    bool runScheduled(int id) override {
      const bool oneShot = RecordingActions::runScheduled(id);
      if (id == 8 && timesOf(8).size() == 1) timers_.add(8, 3000, true);
      return oneShot;
    }

   private:
    ServiceScheduler& timers_;
  };
  AddingAgain again{clock, scheduler};
  scheduler.setActions(&again);
  scheduler.add(8, 3000, true);
  runFor(10000, 100);
  EXPECT_EQ(relative(again.timesOf(8)), (std::vector<std::int64_t>{3000, 6000}));
  EXPECT_FALSE(scheduler.isScheduled(8));
}

TEST_F(SchedulerTest, AddingAnExistingEntryRestartsItsCountOnlyWhenThePeriodDiffers) {
  struct Case {
    std::int64_t newPeriod;
    std::int64_t expectedRun;  // after the re-add at 600 ms
  };
  for (const Case& c : {Case{1000, 1000}, Case{2000, 2600}, Case{300, 900}}) {
    SCOPED_TRACE(c.newPeriod);
    ManualClock local{5'000};
    RecordingActions recorded{local};
    ServiceScheduler timers{local};
    timers.setActions(&recorded);
    timers.add(6, 1000, true);
    local.advance(600);
    timers.add(6, c.newPeriod, true);
    for (int step = 0; step < 300 && recorded.runs().empty(); ++step) {
      local.advance(10);
      timers.runDue();
    }
    ASSERT_EQ(recorded.runs().size(), 1u);
    EXPECT_EQ(recorded.runs()[0].second - 5'000, c.expectedRun);
    EXPECT_EQ(timers.period(6), c.newPeriod);
  }
}

TEST_F(SchedulerTest, RemovedEntriesAndZeroTimesRunNoMore) {
  scheduler.setPollingTime(2);
  scheduler.setStatusTime(3);
  EXPECT_EQ(scheduler.period(1), 2000);
  EXPECT_EQ(scheduler.period(7), 3000);
  runFor(3000);
  scheduler.setPollingTime(0);
  scheduler.remove(7);
  runFor(10000, 100);
  EXPECT_EQ(relative(actions.timesOf(1)), (std::vector<std::int64_t>{2000}));
  EXPECT_EQ(relative(actions.timesOf(7)), (std::vector<std::int64_t>{3000}));
  EXPECT_FALSE(scheduler.isScheduled(1));
}

TEST_F(SchedulerTest, DueEntriesRunInListOrder) {
  scheduler.add(10, 1000, true);
  scheduler.add(6, 1000, true);
  scheduler.add(9, 1000, true);
  runFor(1000, 1000);
  const auto runs = actions.runs();
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].first, 10);
  EXPECT_EQ(runs[1].first, 6);
  EXPECT_EQ(runs[2].first, 9);
}

// The tick is 32 bits of milliseconds: it wraps every 49.7 days. Entries keep their period
// across the wrap, and one due just before it neither stops nor runs at once.
TEST(SchedulerWrapTest, TimersKeepTheirPeriodAcrossTheTickWrap) {
  const std::int64_t wrap = std::int64_t{1} << 32;
  ManualClock clock{wrap - 2500};
  RecordingActions actions{clock, {8}};
  ServiceScheduler scheduler{clock};
  scheduler.setActions(&actions);
  scheduler.add(1, 1000, true);
  scheduler.add(7, 60000, true);
  for (int step = 0; step < 700; ++step) {
    clock.advance(100);
    scheduler.runDue();
    // 600 ms before the wrap: a pause due 2400 ms after it.
    if (step == 18) scheduler.add(8, 3000, true);
  }
  std::vector<std::int64_t> polling;
  for (std::int64_t at : actions.timesOf(1)) polling.push_back(at - (wrap - 2500));
  ASSERT_GE(polling.size(), 60u);
  for (std::size_t i = 0; i < polling.size(); ++i) {
    EXPECT_EQ(polling[i], static_cast<std::int64_t>(i + 1) * 1000) << i;
  }
  EXPECT_EQ(actions.timesOf(8), (std::vector<std::int64_t>{wrap + 2400}));
  EXPECT_EQ(actions.timesOf(7), (std::vector<std::int64_t>{wrap - 2500 + 60000}));
}

TEST(SchedulerThreadTest, ThreadSleepsUntilTheNextDueEntryAndWakesForNewOnes) {
  ManualClock clock{1'000'000};
  RecordingActions actions{clock, {8}};
  ServiceScheduler scheduler{clock};
  scheduler.setActions(&actions);
  scheduler.start();
  // An entry added while the thread waits without any entry.
  scheduler.add(9, 1000, false);
  ASSERT_TRUE(actions.waitForRuns(1));
  scheduler.add(8, 3000, true);
  clock.advance(1000);
  ASSERT_TRUE(actions.waitForRuns(2));
  clock.advance(2000);
  ASSERT_TRUE(actions.waitForRuns(4));
  scheduler.stop();
  scheduler.join();
  const auto runs = actions.runs();
  ASSERT_EQ(runs.size(), 4u);
  EXPECT_EQ(runs[0], (std::pair<int, std::int64_t>{9, 1'000'000}));
  EXPECT_EQ(runs[1], (std::pair<int, std::int64_t>{9, 1'001'000}));
  // At 3000 ms both are due: 9 first (list order), then the one-shot 8.
  EXPECT_EQ(runs[2], (std::pair<int, std::int64_t>{9, 1'003'000}));
  EXPECT_EQ(runs[3], (std::pair<int, std::int64_t>{8, 1'003'000}));
  EXPECT_FALSE(scheduler.isScheduled(8));
}

}  // namespace
}  // namespace parlane
