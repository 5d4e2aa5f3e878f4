#include "core/util/Clock.h"

namespace parlane {

namespace {

class SystemClock final : public Clock {
 public:
  std::int64_t monotonicMs() const override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

  timespec wallTime() const override {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now;
  }

  bool waitUntil(std::condition_variable& condition, std::unique_lock<std::mutex>& lock,
                 std::int64_t deadlineMs, const std::function<bool()>& ready) const override {
    const auto deadline =
        std::chrono::steady_clock::time_point(std::chrono::milliseconds(deadlineMs));
    return condition.wait_until(lock, deadline, ready);
  }
};

}  // namespace

const Clock& Clock::system() {
  static const SystemClock clock;
  return clock;
}

ManualClock::ManualClock(std::int64_t startMs, std::time_t startWall)
    : now_(startMs), wallMs_(static_cast<std::int64_t>(startWall) * 1000) {}

timespec ManualClock::wallTime() const {
  const std::int64_t ms = wallMs_.load();
  timespec now{};
  now.tv_sec = static_cast<std::time_t>(ms / 1000);
  now.tv_nsec = static_cast<long>((ms % 1000) * 1'000'000);
  return now;
}

bool ManualClock::waitUntil(std::condition_variable& condition, std::unique_lock<std::mutex>& lock,
                            std::int64_t deadlineMs, const std::function<bool()>& ready) const {
  // The waiter's mutex is not ours, so an advance cannot notify it without a race; a short real
  // re-check interval makes the wait follow the manual time without any test sleeping.
  while (!ready()) {
    if (monotonicMs() >= deadlineMs) return false;
    condition.wait_for(lock, std::chrono::milliseconds(1));
  }
  return true;
}

void ManualClock::advance(std::int64_t ms) {
  now_.fetch_add(ms);
  wallMs_.fetch_add(ms);
  std::function<void()> callback;
  {
    std::lock_guard guard(callbackMutex_);
    callback = onAdvance_;
  }
  if (callback) callback();
}

void ManualClock::setOnAdvance(std::function<void()> callback) {
  std::lock_guard guard(callbackMutex_);
  onAdvance_ = std::move(callback);
}

}  // namespace parlane
