#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/util/Clock.h"
#include "service/OutboxSubmission.h"

namespace parlane {

class AsyncSerialComm;
class CServiceThread;
class EventRunner;
class GenericMessage;
class HttpCallbacks;
class HttpDoor;
class MainWindowLink;
class MessageStores;
class ServiceScheduler;
class ServiceWindow;
class SettingsStore;
class SmsReceiver;
class SmsSender;
class SpoolWatcher;
struct StoreOpenFailure;

// How a gateway is put together; the defaults are the running program's.
struct GatewayOptions {
  std::string dataFolder{};
  int instance = 0;
  // The scheduler's ticks and the service thread's pauses; none: the system clock.
  const Clock* clock = nullptr;
  // The emulator (true) or the serial port (false); none: as "modem.emulation" says.
  std::optional<bool> emulator{};
  // The emulator's pauses; none: "modem.emulation.reply_pause" and ".send_pause".
  std::optional<std::chrono::milliseconds> emulatorReplyPause{};
  std::optional<std::chrono::milliseconds> emulatorSendPause{};
  // The spool folder is watched.
  bool spool = true;
  // "event.run" is run for message events, and the events a stop left are kept in a file; the
  // HTTP callbacks (webhooks, incoming URL, dlr-url) are made from the same events.
  bool events = true;
  // Parts of long messages that wait for the rest survive a restart (the "parts" file), and the
  // channel starts with the reply time-out of "sender.timeout".
  bool instanceFiles = true;
  // A stop waits for the result of the message in flight, so that the next start never sends it
  // again.
  bool finishSending = true;
};

// The running gateway without its window: the folders, the serial channel or the emulator, the
// sender and the receiver, the scheduler, the event runner, the service thread and the spool
// watcher. It builds them, starts their threads and stops them, each in one fixed order. The
// window is built between open() and attach(), since it shows the folders and the channel and
// the service thread reports to it.
class Gateway {
 public:
  // Builds the scheduler; nothing else yet.
  Gateway(SettingsStore& settings, GatewayOptions options);
  // Stops what still runs; the objects go in the reverse order of their making.
  ~Gateway();
  Gateway(const Gateway&) = delete;
  Gateway& operator=(const Gateway&) = delete;

  // Opens the folders and builds the channel, the sender, the receiver and the event runner. False
  // (with the reason in `failure`) when a folder can't be opened; then nothing else is built.
  bool open(StoreOpenFailure* failure = nullptr);
  // Builds the service thread reporting to `window`, the spool watcher and the HTTP door.
  void attach(ServiceWindow& window);
  // The window the engine posts its codes to (before start).
  void setWindowLink(MainWindowLink* link);
  // The service thread and the spool watcher go (stopped first), before the window they report
  // to.
  void detach();

  // Starts every thread, now that every object it uses exists: channel, sender, receiver,
  // service thread, scheduler (unless `schedulerThread` is false: tests on a manual clock run
  // its due entries themselves), event runner, spool watcher.
  void start(bool schedulerThread = true);
  // No new message is taken from the spool, a send in flight gets its result, then every thread
  // is asked to stop and is waited for. Once.
  void stop();
  bool started() const { return started_; }

  // The one way into the outbox (see CServiceThread::submit).
  SubmitResult submit(std::vector<std::unique_ptr<GenericMessage>> messages);

  SettingsStore& settings() { return settings_; }
  const GatewayOptions& options() const { return options_; }
  MessageStores& stores() { return *stores_; }
  AsyncSerialComm& channel() { return *channel_; }
  SmsSender& sender() { return *sender_; }
  SmsReceiver& receiver() { return *receiver_; }
  ServiceScheduler& scheduler() { return *scheduler_; }
  EventRunner* events() { return events_.get(); }
  // Null before attach() and after detach().
  CServiceThread* service() { return service_.get(); }
  SpoolWatcher* spool() { return spool_.get(); }
  // Null unless "http.enabled" is 1 (between attach() and detach()).
  HttpDoor* http() { return http_.get(); }
  // Null without events (after open()).
  HttpCallbacks* callbacks() { return callbacks_.get(); }

  // A file of this instance beside the folders: "name", or "name.N" for instance N > 0.
  std::string instanceDataFile(const std::string& name) const;

 private:
  const Clock& clock() const;

  SettingsStore& settings_;
  GatewayOptions options_;
  std::unique_ptr<MessageStores> stores_;
  std::unique_ptr<ServiceScheduler> scheduler_;
  std::unique_ptr<AsyncSerialComm> channel_;
  // After the channel, so that they are destroyed before it.
  std::unique_ptr<SmsSender> sender_;
  std::unique_ptr<SmsReceiver> receiver_;
  std::unique_ptr<EventRunner> events_;
  std::unique_ptr<HttpCallbacks> callbacks_;
  std::unique_ptr<CServiceThread> service_;
  std::unique_ptr<SpoolWatcher> spool_;
  std::unique_ptr<HttpDoor> http_;
  bool started_ = false;
  bool stopped_ = false;
  bool schedulerThread_ = false;
};

}  // namespace parlane
