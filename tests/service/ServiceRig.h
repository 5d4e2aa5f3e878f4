#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "core/settings/SettingsStore.h"
#include "core/util/Clock.h"
#include "core/util/Utf.h"
#include "engine/ReceiverTestSupport.h"
#include "engine/SmsReceiver.h"
#include "engine/SmsSender.h"
#include "message/SMSMessage.h"
#include "service/CServiceThread.h"
#include "service/RecordingWindow.h"
#include "service/ServiceScheduler.h"
#include "storage/FolderSchema.h"
#include "storage/MessageRecords.h"
#include "storage/MessageStores.h"
#include "support/FolderOnDisk.h"
#include "support/TempDir.h"
#include "transport/AsyncSerialComm.h"
#include "transport/AsyncSerialEmulator.h"

namespace parlane::test {

// Waits for `condition` (re-checked every few milliseconds); false when it did not come.
inline bool eventually(const std::function<bool()>& condition, int limitMs = 10000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// The gateway without its window, as start-up builds it: the default configuration, the folders
// in a temporary data folder, the channel (the emulator with its pauses shortened, or a port),
// the sender, the receiver, the scheduler (on `schedulerClock`) and the service thread, with a
// recording window. The scheduler and the service thread's pauses go by `schedulerClock`. The
// scheduler's thread runs only when asked: tests on a manual clock run its due entries
// themselves.
class ServiceRig {
 public:
  struct Options {
    std::string port;  // empty: the emulator
    const Clock* schedulerClock = nullptr;
  };

  ServiceRig() : ServiceRig(Options{}) {}
  explicit ServiceRig(Options options)
      : options_(std::move(options)),
        scheduler(options_.schedulerClock ? *options_.schedulerClock : Clock::system()) {
    settings.loadFromFile(PARLANE_SOURCE_DIR "/data/valtorin.cfg");
    for (StoreKind kind : kAllStores) {
      settings.setString(std::u16string(storeName(kind)) + u".filename", storeName(kind) + u".txt");
    }
    settings.setString("modem.port", options_.port.empty() ? u"ttyEMU" : fromUtf8(options_.port));
    settings.setString("status.file", u"");
    settings.setInt("status.time", 0);
    settings.setInt("receiver.polling_time", 0);
    settings.setInt("modem.reconnect.time", 0);
    settings.setInt("sender.delay", 0);
    settings.setInt("sender.timeout", 3000);
    settings.setInt("sender.timeout.connect", 3000);
    settings.setInt("discard_duplicated", 0);
    stores = std::make_unique<MessageStores>(settings, dir.path(), 0);
    stores->open();
    if (options_.port.empty()) {
      channel = std::make_unique<AsyncSerialEmulator>(
          settings, Clock::system(), std::chrono::milliseconds(1), std::chrono::milliseconds(1));
    } else {
      channel = std::make_unique<AsyncSerialComm>(settings);
    }
    sender = std::make_unique<SmsSender>(*channel, settings);
    receiver = std::make_unique<SmsReceiver>(*channel, *sender, settings);
  }

  ~ServiceRig() { stop(); }

  // A message waiting in the outbox as the send path leaves it (before the service starts).
  std::u16string putInOutbox(const std::u16string& to, const std::u16string& text) {
    SMSMessage message(u"", to, text);
    const std::u16string id = stores->outbox().NewIdText();
    stores->outbox().Put(OutgoingRecord(message, StoreKind::Outbox, id));
    stores->outbox().Save();
    return id;
  }

  // Creates the service thread and starts every thread in start-up's order.
  void start(bool schedulerThread = false) {
    service = std::make_unique<CServiceThread>(
        ServiceParts{settings, *channel, *sender, *receiver, *stores, window, scheduler,
                     options_.schedulerClock ? *options_.schedulerClock : Clock::system()});
    window.setCommandHandler([this](int command) {
      if (command == ServiceWindow::kCommandConnect) service->requestConnect();
      if (command == ServiceWindow::kCommandDisconnect) service->disconnect();
    });
    channel->startThread();
    sender->start();
    receiver->start();
    service->start();
    if (schedulerThread) scheduler.start();
  }

  // Connects and waits until the initialization has finished.
  bool connect(std::size_t connectedBefore = 0) {
    service->requestConnect();
    return window.waitForState(ConnectionState::Connected, connectedBefore + 1);
  }

  // Shut-down's order: the channel's thread, the engine, the service threads; then the folders.
  void stop() {
    if (stopped_) return;
    stopped_ = true;
    window.setCommandHandler(nullptr);
    window.waitForCommandsDone();
    scheduler.stop();
    scheduler.join();
    channel->close();
    channel->requestStop();
    channel->joinThread();
    receiver->stop();
    sender->stop();
    if (service) service->stop();
    receiver->join();
    sender->join();
    if (service) service->join();
    service.reset();
  }

  std::size_t count(StoreKind kind) { return stores->store(kind).Count(); }
  std::vector<DatabaseRecord> records(StoreKind kind) {
    return stores->store(kind).SelectNotEqual(0, u"", 0);
  }
  // The folder as it stands on disk (its file with its journal applied).
  std::string file(StoreKind kind) { return folderOnDisk(dir, toUtf8(storeName(kind)) + ".txt"); }
  std::u16string field(const DatabaseRecord& record, StoreKind kind, std::u16string_view name) {
    return record[static_cast<std::size_t>(columnIndex(kind, name))];
  }

  LogCapture log;
  TempDir dir;
  SettingsStore settings;
  std::unique_ptr<MessageStores> stores;
  std::unique_ptr<AsyncSerialComm> channel;
  std::unique_ptr<SmsSender> sender;
  std::unique_ptr<SmsReceiver> receiver;

 private:
  Options options_;
  bool stopped_ = false;

 public:
  ServiceScheduler scheduler;
  RecordingWindow window;
  std::unique_ptr<CServiceThread> service;
};

}  // namespace parlane::test
