#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include "transport/AsyncEvent.h"

namespace parlane {

// A first-in first-out hand-over of owned items between threads, one consumer per queue. Its
// signal works like a manual-reset event: push and clear set it, and a pop that finds the queue
// empty after a clear returns null (the waiter was cancelled) and resets it.
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
      signalled_ = true;
    }
    condition_.notify_one();
  }

  // Blocks until an item is there or the queue is cleared; null after a clear.
  std::unique_ptr<Item> pop() {
    std::unique_lock lock(mutex_);
    condition_.wait(lock, [this] { return signalled_; });
    return takeLocked();
  }

  // As pop, but gives up after `limit` (null then too). Meant for tests that must never hang;
  // the engine relies on the channel's reply time-out instead.
  std::unique_ptr<Item> popWithin(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    if (!condition_.wait_for(lock, limit, [this] { return signalled_; })) return nullptr;
    return takeLocked();
  }

  // The oldest item, or null at once when there is none. Leaves a pending clear signal alone.
  std::unique_ptr<Item> tryPop() {
    std::lock_guard guard(mutex_);
    if (items_.empty()) return nullptr;
    return takeLocked();
  }

  // Deletes every queued item and wakes a waiting pop, which returns null.
  void clear() {
    std::deque<std::unique_ptr<Item>> dropped;
    {
      std::lock_guard guard(mutex_);
      dropped.swap(items_);
      signalled_ = true;
    }
    condition_.notify_all();
  }

  std::size_t size() const {
    std::lock_guard guard(mutex_);
    return items_.size();
  }

 private:
  std::unique_ptr<Item> takeLocked() {
    if (items_.empty()) {
      signalled_ = false;
      return nullptr;
    }
    std::unique_ptr<Item> item = std::move(items_.front());
    items_.pop_front();
    signalled_ = !items_.empty();
    return item;
  }

  mutable std::mutex mutex_;
  std::condition_variable condition_;
  std::deque<std::unique_ptr<Item>> items_;
  bool signalled_ = false;
};

// Reply events from the channel to one engine thread.
using ReplyQueue = BlockingQueue<AsyncEvent>;

}  // namespace parlane
