#pragma once

#include <memory>
#include <string_view>

namespace parlane {

class DuplicateLists;
class EventRunner;
class GenericMessage;
class MessageStores;
class OutboxDispatcher;
class ServiceState;
class ServiceWindow;
class ServiceMetrics;
class SettingsStore;
class SmsSender;
class StatusReport;

// Every received message and delivery report (1026, and 1029 inside a listing): reports mark
// their sent record, new messages go to the inbox once, duplicates are dropped, and what has been
// handled is deleted from the modem memory as "sender.delete_mode" says, but only once its record
// has been saved. A message stored and a report applied are events for "event.run". Service
// thread.
class IncomingProcessor {
 public:
  IncomingProcessor(const SettingsStore& settings, MessageStores& stores, ServiceState& state,
                    DuplicateLists& duplicates, OutboxDispatcher& dispatcher, SmsSender& sender,
                    ServiceWindow& window, EventRunner* events = nullptr,
                    ServiceMetrics* metrics = nullptr);

  // `checkInbox`: compare with the inbox as "discard_duplicated" does, whatever it says (a
  // listing of the modem memory made after connecting finds messages stored before a crash).
  void handle(std::unique_ptr<GenericMessage> message, bool checkInbox = false);

 private:
  void handleReport(StatusReport& report);
  void handleMessage(const GenericMessage& message, bool checkInbox);
  bool isDuplicate(const GenericMessage& message, bool checkInbox);
  bool inInbox(const GenericMessage& message) const;
  // A message from a sender of "incoming.deny" (named by `pattern`): dropped, or stored as handled
  // with "incoming.deny_action" 1; its slots are freed either way.
  void keepDenied(const GenericMessage& message, std::u16string_view pattern);
  // Deletes what `message` occupies in the modem memory ("sender.delete_mode").
  void freeModemMemory(const GenericMessage& message);

  const SettingsStore& settings_;
  MessageStores& stores_;
  ServiceState& state_;
  DuplicateLists& duplicates_;
  OutboxDispatcher& dispatcher_;
  SmsSender& sender_;
  ServiceWindow& window_;
  EventRunner* events_;
  ServiceMetrics* metrics_;
};

}  // namespace parlane
