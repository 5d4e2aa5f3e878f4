#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "core/util/Clock.h"

namespace parlane {

class ScheduledActions;

// Runs numbered actions periodically on a thread of its own. The thread sleeps until the next
// entry is due or the list changes; it never ticks. Time is a 32-bit millisecond tick taken from
// the clock, compared by the time elapsed since the last run, so the tick wrapping past 2^32
// neither stops an entry nor runs it early.
class ServiceScheduler {
 public:
  // Entry ids and their actions.
  enum Action : int {
    kPolling = 1,          // polling step, "receiver.polling_time" s
    kPollingCycleEnd = 5,  // one-shot: end of the polling cycle
    kModemReset = 6,       // "modem.reset.time" s
    kStatusFile = 7,       // "status.time" s
    kSendPause = 8,        // one-shot: end of the pause after a sent message
    kWatchdog = 9,         // channel watchdog, dispatch and quiet folders, every second
    kReconnectCheck = 10,  // "modem.reconnect.time" s
    kOutboxTimes = 11,     // one-shot: a held-back message is due or a message expires
    kPoolReturn = 12,      // "spool.pool_return" s while the modem is away: pool messages go back
  };

  explicit ServiceScheduler(const Clock& clock = Clock::system());
  // Stops and joins the thread.
  ~ServiceScheduler();
  ServiceScheduler(const ServiceScheduler&) = delete;
  ServiceScheduler& operator=(const ServiceScheduler&) = delete;

  // Who runs the actions; set before start().
  void setActions(ScheduledActions* actions);

  // Adds entry `id`, due `periodMs` after its last run. With `startNow` the count starts now,
  // otherwise the entry runs at once. An entry that exists only changes its period, and its
  // count starts now when the period differs or its action is running: a one-shot entry added
  // again before its end has been removed (the next send's pause) stays for another round. Any
  // thread, actions included.
  void add(int id, std::int64_t periodMs, bool startNow);
  void remove(int id);
  bool isScheduled(int id) const;
  std::optional<std::int64_t> period(int id) const;

  // 0 removes entry 1 (or 7); otherwise it runs every `seconds`.
  void setPollingTime(int seconds);
  void setStatusTime(int seconds);

  // Runs every entry due now, in list order: a one-shot entry is removed, any other one counts
  // from now. The thread calls it; a test may while the thread is not running.
  void runDue();

  void start();
  void stop();
  void join();

 private:
  struct Entry {
    int id = 0;
    std::uint32_t lastRun = 0;
    std::int64_t period = 0;
    bool hasRun = false;      // false: due at once
    bool running = false;     // its action runs (or has run and the entry is still to settle)
    std::uint64_t stamp = 0;  // changed by every add
  };

  void run();
  // After the action of entry `id` (its stamp when the action began): a one-shot entry goes,
  // unless it was added again meanwhile.
  void settle(int id, std::uint64_t stamp, bool oneShot);
  std::uint32_t tick() const;
  bool isDue(const Entry& entry, std::uint32_t now) const;
  // Milliseconds until the first entry is due; nothing when there is no entry.
  std::optional<std::int64_t> untilNextDue(std::uint32_t now) const;

  const Clock& clock_;
  std::atomic<ScheduledActions*> actions_{nullptr};

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Entry> entries_;
  std::uint64_t generation_ = 0;  // bumped by every change, so the thread looks again
  std::uint64_t stamps_ = 0;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace parlane
