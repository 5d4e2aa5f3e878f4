#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace parlane {

// Saves that several threads ask for at once share one flush to disk. A flush costs
// milliseconds; one each would queue every caller behind the flushes of all who came before.
// Here a caller that finds a flush running waits for it to end, and then one flush covers it and
// everyone who came meanwhile.
class GroupCommit {
 public:
  // `flush` writes every change made so far to disk: 0 when it did, anything else when not.
  explicit GroupCommit(std::function<int()> flush);
  GroupCommit(const GroupCommit&) = delete;
  GroupCommit& operator=(const GroupCommit&) = delete;

  // Returns once a flush that began after this call has ended, with that flush's result: the
  // changes the caller made before calling are on disk when it returns 0.
  int commit();

 private:
  struct Waiter {
    std::uint64_t ticket = 0;
    int result = 0;
    bool done = false;
  };

  std::function<int()> flush_;
  std::mutex mutex_;
  std::condition_variable flushed_;
  std::uint64_t lastTicket_ = 0;
  bool flushing_ = false;
  std::vector<Waiter*> waiters_;
};

}  // namespace parlane
