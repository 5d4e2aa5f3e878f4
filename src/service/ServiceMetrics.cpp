#include "service/ServiceMetrics.h"

#include <algorithm>

namespace parlane {

void ServiceMetrics::saved(std::int32_t uniqueid, std::int64_t nowMs) {
  std::lock_guard lock(savedMutex_);
  if (savedAt_.size() < kMaxTimed) savedAt_.emplace(uniqueid, nowMs);
}

void ServiceMetrics::notSaved(std::int32_t uniqueid) {
  std::lock_guard lock(savedMutex_);
  savedAt_.erase(uniqueid);
}

void ServiceMetrics::sent(std::int32_t uniqueid, std::int64_t nowMs) {
  std::optional<std::int64_t> since;
  {
    std::lock_guard lock(savedMutex_);
    if (const auto found = savedAt_.find(uniqueid); found != savedAt_.end()) {
      since = found->second;
      savedAt_.erase(found);
    }
  }
  if (since) {
    const std::int64_t ms = std::max<std::int64_t>(0, nowMs - *since);
    const auto bucket = static_cast<std::size_t>(
        std::lower_bound(kLatencyBoundsMs.begin(), kLatencyBoundsMs.end(), ms) -
        kLatencyBoundsMs.begin());
    buckets_[bucket].fetch_add(1, std::memory_order_relaxed);
    latencySumMs_.fetch_add(static_cast<std::uint64_t>(ms), std::memory_order_relaxed);
  }
  sent_.fetch_add(1, std::memory_order_relaxed);
}

ServiceMetrics::Latency ServiceMetrics::latency() const {
  Latency latency;
  std::uint64_t running = 0;
  for (std::size_t i = 0; i < buckets_.size(); ++i) {
    running += buckets_[i].load(std::memory_order_relaxed);
    latency.atOrBelow[i] = running;
  }
  latency.count = running;
  latency.sumMs = latencySumMs_.load(std::memory_order_relaxed);
  return latency;
}

}  // namespace parlane
