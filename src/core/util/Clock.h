#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>

namespace parlane {

// Every time-based decision (reply time-outs, watchdogs, schedulers, retries, pauses, message and
// log time stamps) reads time through a Clock, so tests can move time by hand instead of sleeping.
class Clock {
 public:
  virtual ~Clock() = default;

  // Monotonic milliseconds from an arbitrary origin; never goes back.
  virtual std::int64_t monotonicMs() const = 0;
  // Wall-clock time: seconds and nanoseconds since 1970, UTC.
  virtual timespec wallTime() const = 0;
  std::time_t wallSeconds() const { return wallTime().tv_sec; }

  // Waits on `condition` (with `lock` held) until `ready()` holds or the monotonic time reaches
  // `deadlineMs`. Returns ready(). Spurious wake-ups are absorbed here.
  virtual bool waitUntil(std::condition_variable& condition, std::unique_lock<std::mutex>& lock,
                         std::int64_t deadlineMs, const std::function<bool()>& ready) const = 0;

  // The process's real clock (steady_clock and CLOCK_REALTIME).
  static const Clock& system();
};

// A clock that moves only when told to. Waiters re-check their deadline on every advance.
class ManualClock : public Clock {
 public:
  explicit ManualClock(std::int64_t startMs = 1'000'000, std::time_t startWall = 1'700'000'000);

  std::int64_t monotonicMs() const override { return now_.load(); }
  timespec wallTime() const override;
  bool waitUntil(std::condition_variable& condition, std::unique_lock<std::mutex>& lock,
                 std::int64_t deadlineMs, const std::function<bool()>& ready) const override;

  // Moves both the monotonic and the wall time forward and wakes every waiter.
  void advance(std::int64_t ms);
  // Called after every advance (for example to wake a thread that blocks in poll()).
  void setOnAdvance(std::function<void()> callback);

 private:
  std::atomic<std::int64_t> now_;
  std::atomic<std::int64_t> wallMs_;
  mutable std::mutex callbackMutex_;
  std::function<void()> onAdvance_;
};

}  // namespace parlane
