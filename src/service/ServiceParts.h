#pragma once

#include "core/util/Clock.h"

namespace parlane {

class AsyncSerialComm;
class EventRunner;
class MessageStores;
class ServiceScheduler;
class ServiceWindow;
class SettingsStore;
class SmsReceiver;
class SmsSender;

// The long-lived objects the service thread works with; start-up owns them all, and they outlive
// the service thread.
struct ServiceParts {
  SettingsStore& settings;
  AsyncSerialComm& channel;  // the serial channel or the emulator
  SmsSender& sender;
  SmsReceiver& receiver;
  MessageStores& stores;
  ServiceWindow& window;
  ServiceScheduler& scheduler;
  const Clock& clock = Clock::system();
  // Runs "event.run" for what is received, sent, failed and reported; none: no events.
  EventRunner* events = nullptr;
};

}  // namespace parlane
