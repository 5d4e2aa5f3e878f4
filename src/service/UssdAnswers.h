#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace parlane {

class Clock;

// The answers to USSD requests handed in with an id of their own (their "custom" field), for the
// HTTP door. A reply line names no request: it belongs to the request handed to the sender last,
// since the modem runs one USSD session at a time. Kept in memory, the newest kMaxKept.
class UssdAnswers {
 public:
  static constexpr std::size_t kMaxKept = 1000;

  struct Answer {
    bool failed = false;
    std::string text;  // the reply, or why the request failed
  };

  // A request goes to the sender; `id` is empty for one without an id (the dialog's).
  void handedOut(const std::string& id);
  // The network's reply: the answer of the request handed out last, if it has none yet.
  void replied(const std::string& text);
  void failed(const std::string& id, const std::string& reason);

  std::optional<Answer> find(const std::string& id) const;
  // Waits for the answer to `id` until the monotonic `deadlineMs` of `clock`.
  std::optional<Answer> waitFor(const std::string& id, const Clock& clock, std::int64_t deadlineMs);

 private:
  void keep(const std::string& id, Answer answer);  // lock held

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::string current_;
  std::unordered_map<std::string, Answer> answers_;
  std::deque<std::string> order_;
};

}  // namespace parlane
