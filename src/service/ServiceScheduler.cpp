#include "service/ServiceScheduler.h"

#include <algorithm>

#include "core/log/Logger.h"
#include "core/util/ThreadName.h"
#include "service/ScheduledActions.h"

namespace parlane {

ServiceScheduler::ServiceScheduler(const Clock& clock) : clock_(clock) {}

ServiceScheduler::~ServiceScheduler() {
  stop();
  join();
}

void ServiceScheduler::setActions(ScheduledActions* actions) { actions_.store(actions); }

std::uint32_t ServiceScheduler::tick() const {
  return static_cast<std::uint32_t>(clock_.monotonicMs());
}

void ServiceScheduler::add(int id, std::int64_t periodMs, bool startNow) {
  std::lock_guard guard(mutex_);
  const std::uint32_t now = tick();
  auto found = std::find_if(entries_.begin(), entries_.end(),
                            [id](const Entry& entry) { return entry.id == id; });
  if (found != entries_.end()) {
    if (found->period != periodMs || found->running) {
      // One whose action runs counts as new.
      found->hasRun = !found->running || startNow;
      found->period = periodMs;
      found->lastRun = now;
    }
    found->stamp = ++stamps_;
  } else {
    entries_.push_back(Entry{id, now, periodMs, startNow, false, ++stamps_});
  }
  ++generation_;
  changed_.notify_all();
}

void ServiceScheduler::remove(int id) {
  std::lock_guard guard(mutex_);
  std::erase_if(entries_, [id](const Entry& entry) { return entry.id == id; });
  ++generation_;
  changed_.notify_all();
}

bool ServiceScheduler::isScheduled(int id) const { return period(id).has_value(); }

std::optional<std::int64_t> ServiceScheduler::period(int id) const {
  std::lock_guard guard(mutex_);
  for (const Entry& entry : entries_) {
    if (entry.id == id) return entry.period;
  }
  return std::nullopt;
}

void ServiceScheduler::setPollingTime(int seconds) {
  if (seconds == 0) {
    remove(kPolling);
  } else {
    add(kPolling, static_cast<std::int64_t>(seconds) * 1000, true);
  }
}

void ServiceScheduler::setStatusTime(int seconds) {
  if (seconds == 0) {
    remove(kStatusFile);
  } else {
    add(kStatusFile, static_cast<std::int64_t>(seconds) * 1000, true);
  }
}

bool ServiceScheduler::isDue(const Entry& entry, std::uint32_t now) const {
  if (!entry.hasRun) return true;
  // Unsigned difference: right across the wrap of the tick.
  const std::uint32_t elapsed = now - entry.lastRun;
  return static_cast<std::int64_t>(elapsed) >= entry.period;
}

std::optional<std::int64_t> ServiceScheduler::untilNextDue(std::uint32_t now) const {
  std::optional<std::int64_t> next;
  for (const Entry& entry : entries_) {
    std::int64_t wait = 0;
    if (!isDue(entry, now)) wait = entry.period - static_cast<std::int64_t>(now - entry.lastRun);
    if (!next || wait < *next) next = wait;
  }
  return next;
}

void ServiceScheduler::runDue() {
  // The due entries are settled under the lock; their actions run outside it, so that an action
  // may add or remove entries, and so that adding from another thread never waits for an action.
  std::vector<int> due;
  {
    std::lock_guard guard(mutex_);
    const std::uint32_t now = tick();
    for (Entry& entry : entries_) {
      if (!isDue(entry, now)) continue;
      due.push_back(entry.id);
      entry.lastRun = now;
      entry.hasRun = true;
    }
  }
  ScheduledActions* actions = actions_.load();
  for (int id : due) {
    std::uint64_t stamp = 0;
    {
      // An entry removed by an earlier action of this round does not run.
      std::lock_guard guard(mutex_);
      auto found = std::find_if(entries_.begin(), entries_.end(),
                                [id](const Entry& entry) { return entry.id == id; });
      if (found == entries_.end()) continue;
      found->running = true;
      stamp = found->stamp;
    }
    const bool oneShot = actions != nullptr && actions->runScheduled(id);
    settle(id, stamp, oneShot);
  }
}

void ServiceScheduler::settle(int id, std::uint64_t stamp, bool oneShot) {
  std::lock_guard guard(mutex_);
  auto found = std::find_if(entries_.begin(), entries_.end(),
                            [id](const Entry& entry) { return entry.id == id; });
  if (found == entries_.end()) return;
  found->running = false;
  // Added again since its action began (the work it started came back quickly): it stays.
  if (!oneShot || found->stamp != stamp) return;
  entries_.erase(found);
  ++generation_;
  changed_.notify_all();
}

void ServiceScheduler::start() {
  std::lock_guard guard(mutex_);
  if (thread_.joinable()) return;
  stop_ = false;
  thread_ = std::thread([this] { run(); });
  nameThread(thread_, "scheduler");
}

void ServiceScheduler::stop() {
  std::lock_guard guard(mutex_);
  stop_ = true;
  changed_.notify_all();
}

void ServiceScheduler::join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void ServiceScheduler::run() {
  Logger::log(0, std::string("Scheduler started"));
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      if (stop_) break;
      const std::uint64_t seen = generation_;
      const std::optional<std::int64_t> wait = untilNextDue(tick());
      const auto changed = [&] { return stop_ || generation_ != seen; };
      if (!wait) {
        // Without entries only a change ends the wait.
        changed_.wait(lock, changed);
        continue;
      }
      if (*wait > 0) {
        clock_.waitUntil(changed_, lock, clock_.monotonicMs() + *wait, changed);
        continue;
      }
    }
    runDue();
  }
}

}  // namespace parlane
