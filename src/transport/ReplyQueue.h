#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "core/util/Clock.h"
#include "transport/AsyncEvent.h"

namespace parlane {

// A first-in first-out hand-over of owned items between threads, one consumer per queue. A
// clear wakes the pops that are waiting at that moment, and they return null (cancelled); a clear
// with nobody waiting leaves no trace, so the next pop waits for an item as usual.
template <typename Item>
class BlockingQueue {
 public:
  BlockingQueue() = default;
  BlockingQueue(const BlockingQueue&) = delete;
  BlockingQueue& operator=(const BlockingQueue&) = delete;

  void push(std::unique_ptr<Item> item) {
    {
      std::lock_guard guard(mutex_);
      items_.push_back(std::move(item));
    }
    condition_.notify_one();
  }

  // Blocks until an item is there or the queue is cleared; null after a clear.
  std::unique_ptr<Item> pop() {
    std::unique_lock lock(mutex_);
    const std::uint64_t clears = clears_;
    ++waiting_;
    condition_.wait(lock, [&] { return !items_.empty() || clears_ != clears; });
    --waiting_;
    return takeLocked();
  }

  // As pop, but gives up after `limit` (null then too). Meant for tests that must never hang;
  // the engine relies on the channel's reply time-out instead.
  std::unique_ptr<Item> popWithin(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    const std::uint64_t clears = clears_;
    ++waiting_;
    condition_.wait_for(lock, limit, [&] { return !items_.empty() || clears_ != clears; });
    --waiting_;
    return takeLocked();
  }

  // As pop, but gives up (null) once `clock` reaches `deadlineMs`: a thread with work of its own
  // at a given time waits on its queue until then.
  std::unique_ptr<Item> popUntil(const Clock& clock, std::int64_t deadlineMs) {
    std::unique_lock lock(mutex_);
    const std::uint64_t clears = clears_;
    ++waiting_;
    clock.waitUntil(condition_, lock, deadlineMs,
                    [&] { return !items_.empty() || clears_ != clears; });
    --waiting_;
    return takeLocked();
  }

  // The oldest item, or null at once when there is none.
  std::unique_ptr<Item> tryPop() {
    std::lock_guard guard(mutex_);
    return takeLocked();
  }

  // Deletes every queued item and wakes every waiting pop, which returns null.
  void clear() {
    std::deque<std::unique_ptr<Item>> dropped;
    {
      std::lock_guard guard(mutex_);
      dropped.swap(items_);
      ++clears_;
    }
    condition_.notify_all();
  }

  std::size_t size() const {
    std::lock_guard guard(mutex_);
    return items_.size();
  }

  // Pops blocked right now; lets a test know that a clear will find its waiter.
  int waitingCount() const {
    std::lock_guard guard(mutex_);
    return waiting_;
  }

 private:
  std::unique_ptr<Item> takeLocked() {
    if (items_.empty()) return nullptr;
    std::unique_ptr<Item> item = std::move(items_.front());
    items_.pop_front();
    return item;
  }

  mutable std::mutex mutex_;
  std::condition_variable condition_;
  std::deque<std::unique_ptr<Item>> items_;
  std::uint64_t clears_ = 0;
  int waiting_ = 0;
};

// Reply events from the channel to one engine thread.
using ReplyQueue = BlockingQueue<AsyncEvent>;

}  // namespace parlane
