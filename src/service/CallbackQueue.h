#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "core/util/Clock.h"
#include "service/CallbackFetch.h"
#include "service/KeyedJournal.h"

namespace parlane {

// A callback waiting for delivery.
struct QueuedCallback {
  std::string method;  // "GET" or "POST"
  std::string url;
  std::string body;
  std::string what;  // for the log: "webhook of the received event of message 12"
};

// Delivers callbacks at least once, on a thread of its own ("callbacks"). Each is written to a
// file beside the folders before its first try and leaves it only once its receiver answered
// 2xx, so neither a restart of the gateway nor a receiver that is down loses one. A receiver
// (scheme, host and port) that did not answer pauses before its next try, 2 s the first time, then
// twice as long each time up to 30 minutes; its callbacks go in the order they came. A callback
// not delivered within 24 hours is dropped with a log line naming it; so is the oldest when
// too many wait. The thread sleeps until a callback is added or a pause ends. POST bodies are
// signed with `secret()` ("X-Parlane-Signature") when it is not empty.
class CallbackQueue {
 public:
  static constexpr std::size_t kMaxWaiting = 10'000;
  static constexpr std::int64_t kFirstPauseMs = 2'000;
  static constexpr std::int64_t kLongestPauseMs = 30 * 60'000;
  static constexpr std::int64_t kGiveUpSeconds = 24 * 3600;

  // `file`: where the waiting callbacks are kept; read here. At most `maxWaiting` wait.
  CallbackQueue(std::string file, const Clock& clock, std::function<std::string()> secret,
                std::size_t maxWaiting = kMaxWaiting);
  // Stops and joins.
  ~CallbackQueue();
  CallbackQueue(const CallbackQueue&) = delete;
  CallbackQueue& operator=(const CallbackQueue&) = delete;

  void start();
  // Ends the request under way and the thread; what waits stays in the file.
  void stop();

  // Keeps the callback in the file and wakes the thread. Any thread.
  void add(QueuedCallback callback);
  // The thread looks at the clock again (a manual clock that was moved).
  void wake();

  std::size_t waiting() const;
  std::size_t delivered() const;
  // Tries so far that got no 2xx (tests).
  std::size_t failedTries() const;

 private:
  struct Entry {
    std::uint64_t sequence = 0;
    std::time_t created = 0;
    QueuedCallback callback;
  };
  struct Receiver {
    int failures = 0;
    std::int64_t nextTryMs = 0;
  };

  void run();
  // The next entry to try (nullptr: none now; `dueMs` then says when), dropping those too old.
  const Entry* nextDue(std::int64_t& dueMs);
  void drop(std::deque<Entry>::iterator entry, const std::string& why);
  void settle(std::uint64_t sequence, const CallbackAnswer& answer, const std::string& origin);
  std::vector<JournalEntry> liveEntries() const;

  const Clock& clock_;
  std::function<std::string()> secret_;
  const std::size_t maxWaiting_;
  CallbackFetch fetch_;
  std::thread thread_;

  mutable std::mutex mutex_;
  std::condition_variable wakeUp_;
  KeyedJournal journal_;
  std::deque<Entry> entries_;
  std::map<std::string, Receiver> receivers_;
  std::uint64_t nextSequence_ = 1;
  bool added_ = false;
  bool stop_ = false;
  std::size_t delivered_ = 0;
  std::size_t failedTries_ = 0;
};

}  // namespace parlane
