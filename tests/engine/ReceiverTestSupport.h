#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/Notifier.h"
#include "core/util/Utf.h"
#include "engine/CommandQueue.h"
#include "engine/EngineSink.h"
#include "message/GenericMessage.h"
#include "support/TempDir.h"
#include "transport/ReplyParser.h"
#include "transport/ReplyQueue.h"
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

class RecordingNotifier : public Notifier {
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

// The memory indexes a received message names, without their read stamps.
inline std::vector<std::int32_t> slotIndexes(const GenericMessage& message) {
  std::vector<std::int32_t> indexes;
  for (ModemSlot slot : message.memorySlots) indexes.push_back(slot.index);
  return indexes;
}

inline std::vector<std::unique_ptr<AsyncEvent>> parseReplies(std::string bytes) {
  ReplyParser parser;
  CollectingSink sink;
  parser.parse(bytes.data(), bytes.size(), sink);
  std::vector<std::unique_ptr<AsyncEvent>> events;
  for (auto& [slot, event] : sink.events) events.push_back(std::move(event));
  return events;
}

// The events the parser hands to the receiver's slot; keeps its state between calls as the
// channel's parser does.
class UnsolicitedFeed : public ReplySink {
 public:
  bool accepts(ReplySlot slot) const override { return slot == ReplySlot::Unsolicited; }
  void deliver(ReplySlot, std::unique_ptr<AsyncEvent> event) override {
    events_.push_back(std::move(event));
  }
  std::vector<std::unique_ptr<AsyncEvent>> parse(std::string bytes) {
    events_.clear();
    parser_.parse(bytes.data(), bytes.size(), *this);
    return std::move(events_);
  }

 private:
  ReplyParser parser_;
  std::vector<std::unique_ptr<AsyncEvent>> events_;
};

// What the engine hands to the service thread. Replies (1027) can also be awaited in order.
class RecordingEngineSink : public EngineSink {
 public:
  struct Message {
    int code;
    int flag;
    std::unique_ptr<GenericMessage> message;
  };
  struct Reply {
    int code;
    int flag;
    std::unique_ptr<AsyncEvent> event;
  };

  void notify(int code, int flag, std::unique_ptr<GenericMessage> payload) override {
    {
      std::lock_guard guard(mutex_);
      messages_.push_back({code, flag, std::move(payload)});
    }
    changed_.notify_all();
  }
  void notifyReply(int code, int flag, std::unique_ptr<AsyncEvent> reply) override {
    if (forward_) forward_->push(std::make_unique<AsyncEvent>(*reply));
    std::lock_guard guard(mutex_);
    replies_.push_back({code, flag, std::move(reply)});
  }
  // Every reply is copied into `queue` too (the connection manager's feed).
  void forwardRepliesTo(ReplyQueue* queue) { forward_ = queue; }

  // Waits until `count` messages are held (true) or the limit passed.
  bool waitForMessages(std::size_t count, int limitMs = 5000) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(limitMs),
                             [&] { return messages_.size() >= count; });
  }
  std::size_t messageCount() const {
    std::lock_guard guard(mutex_);
    return messages_.size();
  }
  std::vector<Message> takeMessages() {
    std::lock_guard guard(mutex_);
    return std::move(messages_);
  }
  std::vector<Reply> takeReplies() {
    std::lock_guard guard(mutex_);
    return std::move(replies_);
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Message> messages_;
  std::vector<Reply> replies_;
  ReplyQueue* forward_ = nullptr;
};

// The process log written to a temporary file while the capture lives.
class LogCapture {
 public:
  LogCapture() : logger_(dir_.file("modem.log")) { Logger::setGlobal(&logger_); }
  ~LogCapture() { Logger::setGlobal(nullptr); }
  bool contains(const std::string& text) const {
    return dir_.read("modem.log").find(text) != std::string::npos;
  }
  std::string text() const { return dir_.read("modem.log"); }

 private:
  TempDir dir_;
  Logger logger_;
};

// An SMS-DELIVER as the modem shows it (hexadecimal, empty service centre field) from the
// international number `sender`, 8-bit data, stamped `stamp` ("yyMMddhhmmss", zone 0), with the
// header elements given (without the header length octet).
inline std::string deliverHex(const std::string& sender, const std::string& data,
                              const std::vector<std::uint8_t>& header = {},
                              const std::string& stamp = "240101120000") {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string hex;
  auto octet = [&](unsigned value) {
    hex.push_back(kHex[(value >> 4) & 0xF]);
    hex.push_back(kHex[value & 0xF]);
  };
  auto swapped = [&](std::string digits) {
    if (digits.size() % 2) digits.push_back('F');
    for (std::size_t i = 0; i < digits.size(); i += 2) {
      hex.push_back(digits[i + 1]);
      hex.push_back(digits[i]);
    }
  };
  octet(0x00);                          // no service centre address
  octet(header.empty() ? 0x04 : 0x44);  // SMS-DELIVER, header indicator
  octet(static_cast<unsigned>(sender.size()));
  octet(0x91);
  swapped(sender);
  octet(0x00);  // PID
  octet(0x04);  // 8-bit data
  swapped(stamp);
  octet(0x00);  // zone
  const std::size_t headerOctets = header.empty() ? 0 : header.size() + 1;
  octet(static_cast<unsigned>(headerOctets + data.size()));
  if (!header.empty()) {
    octet(static_cast<unsigned>(header.size()));
    for (std::uint8_t h : header) octet(h);
  }
  for (unsigned char c : data) octet(c);
  return hex;
}

// The concatenation element: 8-bit reference, count, part number (from 1).
inline std::vector<std::uint8_t> concat(int reference, int total, int number) {
  return {0x00, 0x03, static_cast<std::uint8_t>(reference), static_cast<std::uint8_t>(total),
          static_cast<std::uint8_t>(number)};
}

}  // namespace parlane::test
