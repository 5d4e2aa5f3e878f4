#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>

#include "service/MemoryReading.h"
#include "service/ServiceWindow.h"

namespace parlane {

// The state the service thread keeps and others read. Every member is guarded (atomics, or the
// lock for the last received message). The memory-reading state and the send pause are changed
// on the service thread only; the others post an item to it.
class ServiceState {
 public:
  static constexpr int kMaxErrors = 10;

  // The polling cycle's memory-reading state (MemoryReading: 0 idle; 9, 10, 12, 8 and 4 and
  // their bits drive the steps).
  int memoryReadingState() const { return memoryReading_.load(); }
  void setMemoryReadingState(int state) { memoryReading_.store(state); }
  // Sets the state only when it is `expected` (which then holds what it was).
  bool exchangeMemoryReadingState(int& expected, int state) {
    return memoryReading_.compare_exchange_strong(expected, state);
  }

  // Set from the connect until the initializer has finished: its replies are awaited.
  bool initializing() const { return initializing_.load(); }
  void setInitializing(bool initializing) { initializing_.store(initializing); }

  // Set while the pause after a sent message runs.
  bool sendPause() const { return sendPause_.load(); }
  void setSendPause(bool pause) { sendPause_.store(pause); }

  // 0 to 10: raised by a failed send, lowered by a successful one (the status file shows it).
  int errorCount() const { return errors_.load(); }
  void raiseErrors();
  void lowerErrors();

  // Messages (not reports) processed since start; countReceived adds one and returns the sum.
  int receivedCount() const { return received_.load(); }
  int countReceived() { return ++received_; }

  std::optional<ReceivedMessageSummary> lastReceived() const;
  void setLastReceived(ReceivedMessageSummary message);

  ConnectionState connectionState() const { return connection_.load(); }
  void setConnectionState(ConnectionState state) {
    connection_.store(state);
    if (connectionListener_) connectionListener_(state);
  }
  // Told of every connection state set, on the thread that sets it; set before any thread runs.
  void setConnectionListener(std::function<void(ConnectionState)> listener) {
    connectionListener_ = std::move(listener);
  }

 private:
  std::atomic<int> memoryReading_{0};
  std::atomic<bool> sendPause_{false};
  std::atomic<int> errors_{0};
  std::atomic<int> received_{0};
  std::atomic<ConnectionState> connection_{ConnectionState::Disconnected};
  mutable std::mutex lastMutex_;
  std::optional<ReceivedMessageSummary> last_;
  std::atomic<bool> initializing_{false};
  std::function<void(ConnectionState)> connectionListener_;
};

}  // namespace parlane
