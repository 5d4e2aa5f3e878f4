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
    stores = std::make_unique<MessageStores>(settings, dir.path(), instance);
    stores->open();
    channel = std::make_unique<AsyncSerialComm>(settings);
    sender = std::make_unique<SmsSender>(*channel, settings);
    receiver = std::make_unique<SmsReceiver>(*channel, *sender, settings);
    parts = std::make_unique<MainFrameParts>(MainFrameParts{settings, *stores, *channel, instance,
                                                            std::move(suffix), false, false,
                                                            [this] { ++saves; }});
  }

  ~MainFrameFixture() {
    if (service) {
      service->stop();
      service->join();
    }
    service.reset();
    frame.reset();
    processQueued();
    Logger::setGlobal(nullptr);
  }

  // The window; `noIcon` as the switch sets it, `tray` answers whether the desktop has a tray
  // (asked once: no retries).
  CMainFrame& make(bool noIcon, bool tray = true) {
    parts->noIcon = noIcon;
    frame = std::make_unique<CMainFrame>(*parts);
    service = std::make_unique<CServiceThread>(
        ServiceParts{settings, *channel, *sender, *receiver, *stores, *frame, scheduler});
    frame->setService(service.get());
    frame->create([tray] { return tray; }, 0, 0);
    processQueued();
    return *frame;
  }

  std::string log() const { return dir.read("log.txt"); }

  TempDir dir;
  SettingsStore settings;
  std::unique_ptr<Logger> logger;
  std::unique_ptr<MessageStores> stores;
  std::unique_ptr<AsyncSerialComm> channel;
  std::unique_ptr<SmsSender> sender;
  std::unique_ptr<SmsReceiver> receiver;
  ServiceScheduler scheduler;
  std::unique_ptr<MainFrameParts> parts;
  std::unique_ptr<CMainFrame> frame;
  std::unique_ptr<CServiceThread> service;
  int saves = 0;
};

}  // namespace parlane::test
