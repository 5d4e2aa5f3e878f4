#pragma once

#include <QSignalSpy>
#include <memory>
#include <string>

#include "GatewayWindowFixture.h"
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
class MainFrameFixture : public GatewayWindowFixture {
 public:
  explicit MainFrameFixture(int instance = 0, std::u16string suffix = u"")
      : GatewayWindowFixture(GatewayOptions{.instance = instance,
                                            .emulator = false,
                                            .spool = false,
                                            .events = false,
                                            .instanceFiles = false,
                                            .finishSending = false}) {
    openGateway();
    parts = std::make_unique<MainFrameParts>(MainFrameParts{settings, *stores, *channel, instance,
                                                            std::move(suffix), false, false,
                                                            [this] { ++saves; }});
  }

  // The window; `noIcon` as the switch sets it, `tray` answers whether the desktop has a tray
  // (asked once: no retries).
  CMainFrame& make(bool noIcon, bool tray = true) {
    parts->noIcon = noIcon;
    makeWindow([tray] { return tray; });
    processQueued();
    return *frame;
  }

  std::string log() const { return dir.read("log.txt"); }

  int saves = 0;
};

}  // namespace parlane::test
