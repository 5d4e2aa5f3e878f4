#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "service/MessageOutcomes.h"
#include "service/UssdAnswers.h"

namespace parlane {

// Counters of the service thread's work, read by the HTTP door's metrics from any thread:
// atomics, so that counting costs the service thread next to nothing. The send latency runs
// from the outbox save to the modem's accept, in milliseconds of the monotonic clock.
class ServiceMetrics {
 public:
  // Upper bounds of the latency histogram's buckets (the last one, +Inf, is implied).
  static constexpr std::array<std::int64_t, 11> kLatencyBoundsMs{
      50, 100, 250, 500, 1000, 2500, 5000, 10000, 30000, 60000, 300000};
  // Messages whose save waits for its send: more are not timed (a queue that long is news
  // enough).
  static constexpr std::size_t kMaxTimed = 100000;

  enum class Report { Delivered, NotDelivered, StillTrying };

  // The message numbered `uniqueid` is being saved in the outbox from `nowMs` on; notSaved
  // forgets it again.
  void saved(std::int32_t uniqueid, std::int64_t nowMs);
  void notSaved(std::int32_t uniqueid);
  // The modem took it: counted, and timed when its save was seen.
  void sent(std::int32_t uniqueid, std::int64_t nowMs);
  void failed() { failed_.fetch_add(1, std::memory_order_relaxed); }
  void received() { received_.fetch_add(1, std::memory_order_relaxed); }
  void report(Report kind) {
    reports_[static_cast<std::size_t>(kind)].fetch_add(1, std::memory_order_relaxed);
  }

  std::uint64_t sentCount() const { return sent_.load(std::memory_order_relaxed); }
  std::uint64_t failedCount() const { return failed_.load(std::memory_order_relaxed); }
  std::uint64_t receivedCount() const { return received_.load(std::memory_order_relaxed); }
  std::uint64_t reportCount(Report kind) const {
    return reports_[static_cast<std::size_t>(kind)].load(std::memory_order_relaxed);
  }

  struct Latency {
    // Cumulative: observations at or below each bound, then all of them.
    std::array<std::uint64_t, kLatencyBoundsMs.size() + 1> atOrBelow{};
    std::uint64_t count = 0;
    std::uint64_t sumMs = 0;
  };
  Latency latency() const;

  MessageOutcomes& outcomes() { return outcomes_; }
  const MessageOutcomes& outcomes() const { return outcomes_; }
  UssdAnswers& ussd() { return ussd_; }

 private:
  std::atomic<std::uint64_t> sent_{0};
  std::atomic<std::uint64_t> failed_{0};
  std::atomic<std::uint64_t> received_{0};
  std::array<std::atomic<std::uint64_t>, 3> reports_{};
  std::array<std::atomic<std::uint64_t>, kLatencyBoundsMs.size() + 1> buckets_{};
  std::atomic<std::uint64_t> latencySumMs_{0};

  std::mutex savedMutex_;
  std::unordered_map<std::int32_t, std::int64_t> savedAt_;

  MessageOutcomes outcomes_;
  UssdAnswers ussd_;
};

}  // namespace parlane
