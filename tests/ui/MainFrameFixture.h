#pragma once

#include <QSignalSpy>
#include <memory>
#include <string>

#include "OffscreenApp.h"
#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"
#include "engine/SmsReceiver.h"
#include "engine/SmsSender.h"
#include "service/CServiceThread.h"
#include "service/Gateway.h"
#include "service/ServiceScheduler.h"
#include "storage/MessageStores.h"
#include "support/TempDir.h"
#include "transport/AsyncSerialComm.h"
#include "ui/mainframe/CMainFrame.h"

namespace parlane::test {

// A main window on real folders in a temporary data folder, a channel that is not open, and the
// service thread (not started unless a test starts it). The log goes to log.txt.
class MainFrameFixture {
 public:
  explicit MainFrameFixture(int instance = 0, std::u16string suffix = u"") {
    offscreenApp();
    for (StoreKind kind : kAllStores) {
      settings.setString(std::u16string(storeName(kind)) + u".filename", storeName(kind) + u".txt");
    }
    logger = std::make_unique<Logger>(dir.file("log.txt"));
    Logger::setGlobal(logger.get());
    gateway = std::make_unique<Gateway>(settings, GatewayOptions{.dataFolder = dir.path(),
                                                                 .instance = instance,
                                                                 .emulator = false,
                                                                 .spool = false,
                                                                 .events = false,
                                                                 .instanceFiles = false,
                                                                 .finishSending = false});
    gateway->open();
    stores = &gateway->stores();
    channel = &gateway->channel();
    sender = &gateway->sender();
    receiver = &gateway->receiver();
    parts = std::make_unique<MainFrameParts>(MainFrameParts{settings, *stores, *channel, instance,
                                                            std::move(suffix), false, false,
                                                            [this] { ++saves; }});
  }

  ~MainFrameFixture() {
    gateway->detach();
    service = nullptr;
    frame.reset();
    processQueued();
    gateway.reset();
    Logger::setGlobal(nullptr);
  }

  // The service thread, reporting to the window (not started).
  void attachService() {
    gateway->attach(*frame);
    service = gateway->service();
    frame->setService(service);
  }

  // The window; `noIcon` as the switch sets it, `tray` answers whether the desktop has a tray
  // (asked once: no retries).
  CMainFrame& make(bool noIcon, bool tray = true) {
    parts->noIcon = noIcon;
    frame = std::make_unique<CMainFrame>(*parts);
    attachService();
    frame->create([tray] { return tray; }, 0, 0);
    processQueued();
    return *frame;
  }

  std::string log() const { return dir.read("log.txt"); }

  TempDir dir;
  SettingsStore settings;
  std::unique_ptr<Logger> logger;
  std::unique_ptr<Gateway> gateway;
  MessageStores* stores = nullptr;
  AsyncSerialComm* channel = nullptr;
  SmsSender* sender = nullptr;
  SmsReceiver* receiver = nullptr;
  std::unique_ptr<MainFrameParts> parts;
  std::unique_ptr<CMainFrame> frame;
  CServiceThread* service = nullptr;
  int saves = 0;
};

}  // namespace parlane::test
