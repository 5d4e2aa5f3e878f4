#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "OffscreenApp.h"
#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "engine/SmsReceiver.h"
#include "engine/SmsSender.h"
#include "service/CServiceThread.h"
#include "service/Gateway.h"
#include "storage/FolderSchema.h"
#include "storage/MessageStores.h"
#include "support/TempDir.h"
#include "transport/AsyncSerialComm.h"
#include "ui/mainframe/CMainFrame.h"

namespace parlane::test {

// The gateway and its main window put together as start-up does, on real folders in a temporary
// data folder; the log goes to log.txt there. The options say what differs from start-up (the
// emulator and its pauses, the instance, no spool, ...); their data folder is the temporary one.
// A fixture prepares the settings, then opens the gateway; the window comes on `parts`.
class GatewayWindowFixture {
 public:
  explicit GatewayWindowFixture(GatewayOptions options) : options_(std::move(options)) {
    offscreenApp();
    logger = std::make_unique<Logger>(dir.file("log.txt"));
    Logger::setGlobal(logger.get());
  }

  // Threads that run are stopped, then the service thread, the window and the gateway go in
  // start-up's order.
  ~GatewayWindowFixture() {
    if (gateway) {
      if (gateway->started()) channel->close();
      gateway->stop();
      gateway->detach();
    }
    service = nullptr;
    frame.reset();
    processQueued();
    gateway.reset();
    Logger::setGlobal(nullptr);
  }

  GatewayWindowFixture(const GatewayWindowFixture&) = delete;
  GatewayWindowFixture& operator=(const GatewayWindowFixture&) = delete;

  // The folders, each in a file named after it, the channel, the sender and the receiver.
  void openGateway() {
    for (StoreKind kind : kAllStores) {
      settings.setString(std::u16string(storeName(kind)) + u".filename", storeName(kind) + u".txt");
    }
    options_.dataFolder = dir.path();
    gateway = std::make_unique<Gateway>(settings, options_);
    gateway->open();
    stores = &gateway->stores();
    channel = &gateway->channel();
    sender = &gateway->sender();
    receiver = &gateway->receiver();
  }

  // The service thread, reporting to the window (not started).
  void attachService() {
    gateway->attach(*frame);
    service = gateway->service();
    frame->setService(service);
  }

  // The window on `parts` with the service thread attached; `tray` answers whether the desktop
  // has a tray (asked once: no retries).
  CMainFrame& makeWindow(std::function<bool()> tray) {
    frame = std::make_unique<CMainFrame>(*parts);
    attachService();
    frame->create(std::move(tray), 0, 0);
    return *frame;
  }

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

 private:
  GatewayOptions options_;
};

}  // namespace parlane::test
