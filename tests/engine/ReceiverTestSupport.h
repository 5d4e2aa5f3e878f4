#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/util/Utf.h"
#include "engine/CommandQueue.h"
#include "gsm/TrayNotifier.h"
#include "transport/ReplyParser.h"
#include "transport/ReplySink.h"

namespace parlane::test {

// The sending thread's queue as the initializer and the receiver see it.
class RecordingCommandQueue : public CommandQueue {
 public:
  void queueCommand(std::unique_ptr<ATCommandMessage> command) override {
    std::lock_guard guard(mutex_);
    waiting_.push_back(toUtf8(command->text));
    all_.push_back(toUtf8(command->text));
  }
  bool isCommandQueued(std::u16string_view text) const override {
    std::lock_guard guard(mutex_);
    for (const auto& c : waiting_) {
      if (fromUtf8(c) == text) return true;
    }
    return false;
  }
  // The oldest command not yet taken, or empty.
  std::string take() {
    std::lock_guard guard(mutex_);
    if (waiting_.empty()) return {};
    std::string command = waiting_.front();
    waiting_.erase(waiting_.begin());
    return command;
  }
  std::size_t waiting() const {
    std::lock_guard guard(mutex_);
    return waiting_.size();
  }
  std::vector<std::string> all() const {
    std::lock_guard guard(mutex_);
    return all_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> waiting_;
  std::vector<std::string> all_;
};

class RecordingNotifier : public TrayNotifier {
 public:
  void balloon(std::u16string_view title, std::u16string_view text) override {
    std::lock_guard guard(mutex_);
    balloons_.emplace_back(toUtf8(title), toUtf8(text));
  }
  std::vector<std::pair<std::string, std::string>> balloons() const {
    std::lock_guard guard(mutex_);
    return balloons_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, std::string>> balloons_;
};

// The events the real reply parser makes of some modem bytes, in order, whatever their slot.
class CollectingSink : public ReplySink {
 public:
  bool accepts(ReplySlot) const override { return true; }
  void deliver(ReplySlot slot, std::unique_ptr<AsyncEvent> event) override {
    events.emplace_back(slot, std::move(event));
  }
  std::vector<std::pair<ReplySlot, std::unique_ptr<AsyncEvent>>> events;
};

inline std::vector<std::unique_ptr<AsyncEvent>> parseReplies(std::string bytes) {
  ReplyParser parser;
  CollectingSink sink;
  parser.parse(bytes.data(), bytes.size(), sink);
  std::vector<std::unique_ptr<AsyncEvent>> events;
  for (auto& [slot, event] : sink.events) events.push_back(std::move(event));
  return events;
}

}  // namespace parlane::test
