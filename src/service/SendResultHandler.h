#pragma once

#include <string>

#include "core/util/Clock.h"
#include "service/SendResultRecording.h"

namespace parlane {

class Clock;
class GenericMessage;
class MessageStores;
class OutboxDispatcher;
class EventRunner;
class ServiceMetrics;
class ServiceScheduler;
class ServiceState;
class ServiceWindow;
class SettingsStore;

// What follows a sending attempt (1028): the message is filed (sent, back into the outbox for a
// retry, or failed), the error counter moves, the user hears of a failure, and the next message
// is dispatched at once or after the pause of "sender.delay". A message filed in "sent" or
// "failed" is an event for "event.run". Service thread.
class SendResultHandler {
 public:
  SendResultHandler(const SettingsStore& settings, MessageStores& stores, ServiceState& state,
                    OutboxDispatcher& dispatcher, ServiceScheduler& scheduler,
                    ServiceWindow& window, EventRunner* events = nullptr,
                    ServiceMetrics* metrics = nullptr, const Clock* clock = nullptr);

  // `flag` as the sender gives it (sendFlag): sent, failed, or cancelled by Disconnect or Exit,
  // which puts the message back into the outbox as it was. A failure at or after the message's
  // expiry is no retry: it is filed as failed, "expired".
  void handle(const GenericMessage& message, int flag);
  // The message of outbox record `recordId` was not sent by its expiry: filed as failed with the
  // reason "expired".
  void fileExpired(const GenericMessage& message, const std::u16string& recordId);

  static constexpr const char16_t* kExpired = u"expired";

 private:
  // What is known of a failure before the folders show it.
  void noteFailure(const GenericMessage& message);
  void logExpired(const GenericMessage& message);
  void tellFailure(const GenericMessage& message);
  // Counts the outcome.
  void record(const GenericMessage& message, SendOutcome outcome);

  const SettingsStore& settings_;
  MessageStores& stores_;
  ServiceState& state_;
  OutboxDispatcher& dispatcher_;
  ServiceScheduler& scheduler_;
  ServiceWindow& window_;
  EventRunner* events_;
  ServiceMetrics* metrics_;
  const Clock& clock_;
};

}  // namespace parlane
