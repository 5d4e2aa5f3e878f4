#pragma once

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "GatewayWindowFixture.h"
#include "OffscreenApp.h"
#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"
#include "engine/SmsReceiver.h"
#include "engine/SmsSender.h"
#include "message/SMSMessage.h"
#include "service/CServiceThread.h"
#include "service/Gateway.h"
#include "service/ServiceScheduler.h"
#include "storage/FolderSchema.h"
#include "storage/MessageRecords.h"
#include "storage/MessageStores.h"
#include "support/TempDir.h"
#include "transport/AsyncSerialEmulator.h"
#include "ui/dialogs/control/ControlDlg.h"
#include "ui/dialogs/control/ControlPanel.h"
#include "ui/dialogs/control/WindowControlHooks.h"
#include "ui/mainframe/CMainFrame.h"

namespace parlane::test {

// Runs the window's queue until `condition` holds; false when it did not come in time.
inline bool eventuallyProcessing(const std::function<bool()>& condition, int limitMs = 10000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// The control panel on the default configuration, real folders in a temporary data folder and
// the modem emulator. Its questions are answered by `yes`; what it tells, exports, opens, posts
// and saves is recorded. startGateway() adds the main window and the running service threads.
class ControlFixture : public GatewayWindowFixture {
 public:
  ControlFixture()
      : GatewayWindowFixture(GatewayOptions{.emulator = true,
                                            .emulatorReplyPause = std::chrono::milliseconds(1),
                                            .emulatorSendPause = std::chrono::milliseconds(1),
                                            .spool = false,
                                            .events = false,
                                            .instanceFiles = false,
                                            .finishSending = false}) {
    settings.loadFromFile(PARLANE_SOURCE_DIR "/data/valtorin.cfg");
    settings.setString("modem.port", u"ttyEMU");
    settings.setString("status.file", u"");
    settings.setInt("status.time", 0);
    settings.setInt("receiver.polling_time", 0);
    settings.setInt("modem.reconnect.time", 0);
    settings.setInt("sender.timeout", 3000);
    settings.setInt("sender.timeout.connect", 3000);
    openGateway();
  }

  ~ControlFixture() { panel_.reset(); }

  // The answers and records of a test in place of the user and of start-up's world.
  void record(ControlHooks& hooks) {
    hooks.ask = [this](const QString& caption, const QString& text) {
      questions.emplace_back(caption.toStdString(), text.toStdString());
      return yes;
    };
    hooks.tell = [this](const QString&, const QString& text) {
      told.push_back(text.toStdString());
    };
    hooks.exportFileName = [this](const QString&) { return QString::fromStdString(exportPath); };
    hooks.openMessage = [this](StoreKind, const DatabaseRecord& record) {
      opened.push_back(record.empty() ? std::u16string() : record[0]);
    };
    hooks.postCommand = [this](int command) { posted.push_back(command); };
    hooks.saveConfiguration = [this] { ++saves; };
    hooks.setAutostart = [this](bool on) { autostart.push_back(on); };
  }
  ControlHooks recordingHooks() {
    ControlHooks hooks;
    record(hooks);
    return hooks;
  }

  // A panel of its own on these parts, with the recording hooks; once the main window is there
  // (startGateway), it serves the rest as it does for start-up's panel.
  ControlDlg& panel() {
    ControlHooks hooks = frame ? windowControlHooks(*frame, *service) : ControlHooks{};
    record(hooks);
    panel_ = std::make_unique<ControlDlg>(
        ControlParts{settings, *stores, *channel, service, std::move(hooks)});
    panel_->present(ControlDlg::Sms);
    return *panel_;
  }

  // The main window and the service thread, as start-up makes them; the threads run.
  CMainFrame& startGateway() {
    parts = std::make_unique<MainFrameParts>(
        MainFrameParts{settings, *stores, *channel, 0, u"", true, false, [this] { ++saves; }});
    makeWindow([] { return false; });
    gateway->setWindowLink(frame.get());
    gateway->start();
    return *frame;
  }

  // The main window's control panel (after startGateway) with the hooks start-up gives it, its
  // configuration saves counted; `answer` sets what the test answers itself.
  ControlPanel& installPanel(const std::function<void(ControlHooks&)>& answer = {}) {
    ControlHooks hooks = windowControlHooks(*frame, *service);
    hooks.saveConfiguration = [this] { ++saves; };
    if (answer) answer(hooks);
    // A child of the window, which ends it.
    auto* panel = new ControlPanel(
        *frame, ControlParts{settings, *stores, *channel, service, std::move(hooks)});
    panel->install();
    return *panel;
  }

  // A message in a folder as the service files it; returns its id.
  std::u16string put(StoreKind folder, const std::u16string& number, const std::u16string& text) {
    SMSMessage message(u"", number, text);
    message.source = number;
    FileDatabase& store = stores->store(folder);
    const std::u16string id = store.newIdText();
    store.put(folder == StoreKind::Inbox ? incomingRecord(message, false, id)
                                         : outgoingRecord(message, folder, id));
    store.save();
    return id;
  }

  bool yes = true;
  std::vector<std::pair<std::string, std::string>> questions;
  std::vector<std::string> told;
  std::vector<std::u16string> opened;  // record ids
  std::vector<int> posted;
  std::vector<bool> autostart;
  std::string exportPath;
  int saves = 0;

 private:
  std::unique_ptr<ControlDlg> panel_;
};

}  // namespace parlane::test
