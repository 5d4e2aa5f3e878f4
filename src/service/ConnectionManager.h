#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "core/util/Clock.h"
#include "service/ServiceWindow.h"

namespace parlane {

class AsyncEvent;
class AsyncSerialComm;
class DuplicateLists;
class ModemInitializer;
class OutboxDispatcher;
class ServiceScheduler;
class ServiceState;
class SettingsStore;
class SmsReceiver;
class SmsSender;

// The connection to the modem: opening the port and running the initialization (1033, 1027),
// the polling cycle over the modem memory, unsolicited USSD replies, the periodic modem reset,
// the reconnect check, disconnecting and a port that fails under the channel.
class ConnectionManager {
 public:
  struct Parts {
    SettingsStore& settings;
    AsyncSerialComm& channel;
    SmsSender& sender;
    ModemInitializer& initializer;
    ServiceState& state;
    ServiceScheduler& scheduler;
    ServiceWindow& window;
    OutboxDispatcher& dispatcher;
    DuplicateLists& duplicates;
    const Clock& clock;
    // Pushes a 1030 item carrying a text onto the service queue.
    std::function<void(std::u16string)> notice;
    // Handles the notices held while the modem was initialized; none: nobody holds them.
    SmsReceiver* receiver = nullptr;
    // Told of each USSD reply text.
    std::function<void(const std::u16string&)> ussdReply{};
  };

  explicit ConnectionManager(Parts parts);

  // The connect request (1033). Service thread.
  void connect();
  // A reply to a plain command or an error line (1027); `toMemoryRead` when it answers a listing,
  // a read or a storage selection. Service thread.
  void onReply(const AsyncEvent& reply, bool toMemoryRead);
  // Scheduler action 1, posted to the service thread.
  void pollingStep();
  // Scheduler actions 6 and 10 (scheduler thread).
  void modemReset();
  void reconnectCheck();
  // Action 5: the polling cycle ends (service thread, queued by the scheduler): the delete-all a
  // listing asked for, the memory-reading state back to 0, the duplicate lists rotated.
  void endPollingCycle();
  // After a disconnect (service thread): no listing is in progress.
  void endReading();
  // Menu command 32773 (window thread).
  void disconnect();
  // The channel's port failed under it (reading thread).
  void onPortFailure(int errnum);
  // Cuts the pause of a modem reset short (shut-down).
  void stop();

  std::u16string port() const;

 private:
  void showState(ConnectionState state);
  void failOpen(const std::u16string& port, bool opened);
  void initializationFinished();
  void listUnreadAfterConnect();
  void onPollingReply(const AsyncEvent& reply);
  // Queues the listing of messages with `status`; false (and the cycle abandoned) when it is
  // already queued or can't be built.
  bool queueListing(int status);
  bool textMode() const;
  // Posts Disconnect and Connect; that Disconnect keeps timers 6 and 10.
  void postReconnect();
  bool pause(std::int64_t milliseconds);

  Parts p_;
  mutable std::mutex portMutex_;
  std::u16string port_;
  // Set while a reconnect posted by the service runs, so its Disconnect keeps the timers that
  // are to try again.
  std::atomic<bool> reconnecting_{false};
  // A listing ended in "delete all" mode: the delete waits for the cycle's end, when every
  // message the listing found has been stored.
  std::atomic<bool> deleteAllAtCycleEnd_{false};

  std::mutex pauseMutex_;
  std::condition_variable pauseCondition_;
  bool stopped_ = false;
};

}  // namespace parlane
