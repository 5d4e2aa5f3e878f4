#include "storage/GroupCommit.h"

#include <algorithm>
#include <utility>

namespace parlane {

GroupCommit::GroupCommit(std::function<int()> flush) : flush_(std::move(flush)) {}

int GroupCommit::commit() {
  std::unique_lock lock(mutex_);
  Waiter self;
  self.ticket = ++lastTicket_;
  waiters_.push_back(&self);
  while (!self.done) {
    if (flushing_) {
      flushed_.wait(lock);
      continue;
    }
    // Whoever finds no flush running starts one for all that are waiting; it can only cover
    // those who came before it starts.
    flushing_ = true;
    const std::uint64_t covered = lastTicket_;
    lock.unlock();
    int result = -1;
    try {
      result = flush_();
    } catch (...) {
      // Reported as a failed save: the waiters must not hang on a flush that never ends.
    }
    lock.lock();
    flushing_ = false;
    std::erase_if(waiters_, [&](Waiter* waiter) {
      if (waiter->ticket > covered) return false;
      waiter->result = result;
      waiter->done = true;
      return true;
    });
    flushed_.notify_all();
  }
  return self.result;
}

}  // namespace parlane
