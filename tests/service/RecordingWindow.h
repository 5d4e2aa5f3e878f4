#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/util/Utf.h"
#include "message/GenericMessage.h"
#include "service/ServiceWindow.h"

namespace parlane::test {

// The main window as the service threads see it: keeps every title state, balloon and posted
// command, and runs the posted commands on a thread of its own, as the window's thread would.
class RecordingWindow : public ServiceWindow {
 public:
  using Balloon = std::pair<std::string, std::string>;

  RecordingWindow() : thread_([this] { run(); }) {}
  ~RecordingWindow() override {
    {
      std::lock_guard guard(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  // What a posted menu command does (the real window: Connect, Disconnect).
  void setCommandHandler(std::function<void(int)> handler) {
    std::lock_guard guard(mutex_);
    handler_ = std::move(handler);
  }

  void showConnectionState(ConnectionState state, std::u16string_view port) override {
    std::lock_guard guard(mutex_);
    states_.push_back(state);
    port_ = toUtf8(port);
    changed_.notify_all();
  }
  void balloon(std::u16string_view title, std::u16string_view text) override {
    std::lock_guard guard(mutex_);
    balloons_.emplace_back(toUtf8(title), toUtf8(text));
    changed_.notify_all();
  }
  void postCommand(int commandId) override {
    std::lock_guard guard(mutex_);
    posted_.push_back(commandId);
    pending_.push_back(commandId);
    changed_.notify_all();
  }
  void writeStatusFile() override {
    std::lock_guard guard(mutex_);
    ++statusWrites_;
  }
  void messageReceived(const ReceivedMessageSummary& message) override {
    std::lock_guard guard(mutex_);
    received_.push_back(message);
  }
  void memoryMessageFound(std::unique_ptr<GenericMessage> message, bool marked) override {
    std::lock_guard guard(mutex_);
    found_.emplace_back(toUtf8(message->content), marked);
  }

  std::vector<ConnectionState> states() const {
    std::lock_guard guard(mutex_);
    return states_;
  }
  ConnectionState lastState() const {
    std::lock_guard guard(mutex_);
    return states_.empty() ? ConnectionState::Disconnected : states_.back();
  }
  std::string port() const {
    std::lock_guard guard(mutex_);
    return port_;
  }
  std::vector<Balloon> balloons() const {
    std::lock_guard guard(mutex_);
    return balloons_;
  }
  std::vector<Balloon> balloonsTitled(const std::string& title) const {
    std::vector<Balloon> matching;
    for (const Balloon& b : balloons()) {
      if (b.first == title) matching.push_back(b);
    }
    return matching;
  }
  std::vector<int> posted() const {
    std::lock_guard guard(mutex_);
    return posted_;
  }
  int statusWrites() const {
    std::lock_guard guard(mutex_);
    return statusWrites_;
  }
  std::vector<ReceivedMessageSummary> received() const {
    std::lock_guard guard(mutex_);
    return received_;
  }
  std::vector<std::pair<std::string, bool>> found() const {
    std::lock_guard guard(mutex_);
    return found_;
  }
  // Waits until the state has been shown `count` times in all.
  bool waitForState(ConnectionState state, std::size_t count = 1, int limitMs = 10000) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(limitMs), [&] {
      return static_cast<std::size_t>(std::count(states_.begin(), states_.end(), state)) >= count;
    });
  }
  bool waitForBalloon(const std::string& title, int limitMs = 10000) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(limitMs), [&] {
      for (const Balloon& b : balloons_) {
        if (b.first == title) return true;
      }
      return false;
    });
  }
  // Waits until every posted command has been carried out.
  bool waitForCommandsDone(int limitMs = 10000) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(limitMs),
                             [&] { return pending_.empty() && !running_; });
  }

 private:
  void run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return stop_ || !pending_.empty(); });
      if (stop_) return;
      const int command = pending_.front();
      pending_.pop_front();
      running_ = true;
      std::function<void(int)> handler = handler_;
      lock.unlock();
      if (handler) handler(command);
      lock.lock();
      running_ = false;
      changed_.notify_all();
    }
  }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<ConnectionState> states_;
  std::string port_;
  std::vector<Balloon> balloons_;
  std::vector<int> posted_;
  std::deque<int> pending_;
  bool running_ = false;
  int statusWrites_ = 0;
  std::vector<ReceivedMessageSummary> received_;
  std::vector<std::pair<std::string, bool>> found_;
  std::function<void(int)> handler_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace parlane::test
