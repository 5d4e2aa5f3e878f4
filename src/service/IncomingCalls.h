#pragma once

#include <string>

#include "core/util/Clock.h"
#include "service/CallTracker.h"

namespace parlane {

class AsyncEvent;
class EventRunner;
class ServiceWindow;
class SettingsStore;
class SmsSender;

// Incoming calls ("calls.handle" 1): each call is logged as "Call from %s", shown in a balloon and
// run as the event "call", once however often it rings; with "calls.hangup" 1 it is hung up with
// "AT+CHUP" ("ATH" where the modem refuses that), queued behind the sender's work like any
// command, so that a ring never cuts into a send. Service thread.
class IncomingCalls {
 public:
  IncomingCalls(const SettingsStore& settings, SmsSender& sender, ServiceWindow& window,
                EventRunner* events, const Clock& clock);

  // A "RING", "+CRING:" or "+CLIP:" line the receiver passed on.
  void onLine(const AsyncEvent& line);

 private:
  void announce(const std::u16string& number);

  const SettingsStore& settings_;
  SmsSender& sender_;
  ServiceWindow& window_;
  EventRunner* events_;
  const Clock& clock_;
  CallTracker tracker_;
};

}  // namespace parlane
