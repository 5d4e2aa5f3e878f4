#pragma once

#include "ui/dialogs/control/ControlHooks.h"

namespace parlane {

class AsyncSerialComm;
class CServiceThread;
class MessageStores;
class SettingsStore;

// What the control panel works on; the main window owns it all. `service` is null when the
// gateway runs without its service thread (tests of single pages).
struct ControlParts {
  SettingsStore& settings;
  MessageStores& stores;
  AsyncSerialComm& channel;
  CServiceThread* service = nullptr;
  ControlHooks hooks;
};

}  // namespace parlane
