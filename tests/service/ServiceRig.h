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
#include "service/Gateway.h"
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
    // Message events (and the HTTP callbacks made from them).
    bool events = false;
    // The data folder; empty: `dir` (the one file() reads). Another rig may use it once this one
    // is gone.
    std::string dataFolder{};
  };

  ServiceRig() : ServiceRig(Options{}) {}
  explicit ServiceRig(Options options)
      : options_(std::move(options)),
        gateway_(std::make_unique<Gateway>(settings, GatewayOptions{
                                                         .dataFolder = dataFolder(),
                                                         .clock = options_.schedulerClock,
                                                         .emulator = options_.port.empty(),
                                                         .emulatorReplyPause = kEmulatorPause,
                                                         .emulatorSendPause = kEmulatorPause,
                                                         .spool = false,
                                                         .events = options_.events,
                                                         .instanceFiles = false,
                                                         .finishSending = false,
                                                     })) {
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
    gateway_->open();
    stores = &gateway_->stores();
    channel = &gateway_->channel();
    sender = &gateway_->sender();
    receiver = &gateway_->receiver();
  }

  ~ServiceRig() { stop(); }

  // A message waiting in the outbox as the send path leaves it (before the service starts).
  std::u16string putInOutbox(const std::u16string& to, const std::u16string& text) {
    SMSMessage message(u"", to, text);
    const std::u16string id = stores->outbox().newIdText();
    stores->outbox().put(outgoingRecord(message, StoreKind::Outbox, id));
    stores->outbox().save();
    return id;
  }

  // Hands messages to the outbox's door, as the send dialog does.
  template <typename... Messages>
  SubmitResult submit(const Messages&... messages) {
    std::vector<std::unique_ptr<GenericMessage>> batch;
    (batch.push_back(messages.clone()), ...);
    return service->submit(std::move(batch));
  }

  // Creates the service thread and starts every thread in start-up's order.
  void start(bool schedulerThread = false) {
    gateway_->attach(window);
    service = gateway_->service();
    window.setCommandHandler([this](int command) {
      if (command == ServiceWindow::kCommandConnect) service->requestConnect();
      if (command == ServiceWindow::kCommandDisconnect) service->disconnect();
    });
    gateway_->start(schedulerThread);
  }

  // Connects and waits until the initialization has finished.
  bool connect(std::size_t connectedBefore = 0) {
    service->requestConnect();
    return window.waitForState(ConnectionState::Connected, connectedBefore + 1);
  }

  // Shut-down's order, after the port is closed; then the service thread goes.
  void stop() {
    if (stopped_) return;
    stopped_ = true;
    window.setCommandHandler(nullptr);
    window.waitForCommandsDone();
    channel->close();
    gateway_->stop();
    gateway_->detach();
    service = nullptr;
  }

  Gateway& gateway() { return *gateway_; }

  std::size_t count(StoreKind kind) { return stores->store(kind).count(); }
  std::vector<DatabaseRecord> records(StoreKind kind) {
    return stores->store(kind).selectNotEqual(0, u"", 0);
  }
  // The folder as it stands on disk (its file with its journal applied).
  std::string file(StoreKind kind) { return folderOnDisk(dir, toUtf8(storeName(kind)) + ".txt"); }
  std::u16string field(const DatabaseRecord& record, StoreKind kind, std::u16string_view name) {
    return record[static_cast<std::size_t>(columnIndex(kind, name))];
  }

  LogCapture log;
  TempDir dir;
  SettingsStore settings;

 private:
  static constexpr std::chrono::milliseconds kEmulatorPause{1};
  std::string dataFolder() const {
    return options_.dataFolder.empty() ? dir.path() : options_.dataFolder;
  }
  Options options_;
  std::unique_ptr<Gateway> gateway_;
  bool stopped_ = false;

 public:
  MessageStores* stores = nullptr;
  AsyncSerialComm* channel = nullptr;
  SmsSender* sender = nullptr;
  SmsReceiver* receiver = nullptr;
  ServiceScheduler& scheduler = gateway_->scheduler();
  RecordingWindow window;
  CServiceThread* service = nullptr;
};

}  // namespace parlane::test
