#include "service/IncomingProcessor.h"

#include <cstdio>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/StringTable.h"
#include "core/util/Utf.h"
#include "engine/DeleteCommands.h"
#include "engine/ModemModes.h"
#include "engine/SmsSender.h"
#include "gsm/NumberPatterns.h"
#include "gsm/Numbers.h"
#include "message/MessageKind.h"
#include "message/StatusReport.h"
#include "service/DeliveryReportMarking.h"
#include "service/DuplicateLists.h"
#include "service/EventRunner.h"
#include "service/OutboxDispatcher.h"
#include "service/ServiceMetrics.h"
#include "service/ServiceState.h"
#include "service/ServiceWindow.h"
#include "storage/FolderSchema.h"
#include "storage/MessageRecords.h"
#include "storage/MessageStores.h"

namespace parlane {

namespace {}  // namespace

IncomingProcessor::IncomingProcessor(const SettingsStore& settings, MessageStores& stores,
                                     ServiceState& state, DuplicateLists& duplicates,
                                     OutboxDispatcher& dispatcher, SmsSender& sender,
                                     ServiceWindow& window, EventRunner* events,
                                     ServiceMetrics* metrics)
    : settings_(settings),
      stores_(stores),
      state_(state),
      duplicates_(duplicates),
      dispatcher_(dispatcher),
      sender_(sender),
      window_(window),
      events_(events),
      metrics_(metrics) {}

void IncomingProcessor::handle(std::unique_ptr<GenericMessage> message, bool checkInbox) {
  if (!message) return;
  if (message->kind() == MessageKind::StatusReport) {
    handleReport(static_cast<StatusReport&>(*message));
  } else {
    handleMessage(*message, checkInbox);
  }
}

void IncomingProcessor::handleReport(StatusReport& report) {
  const ReportOutcome outcome = reportOutcome(report.reportStatus);
  if (metrics_ != nullptr) {
    metrics_->report(outcome == ReportOutcome::kDelivered ? ServiceMetrics::Report::Delivered
                     : outcome == ReportOutcome::kStillTrying
                         ? ServiceMetrics::Report::StillTrying
                         : ServiceMetrics::Report::NotDelivered);
  }
  if (outcome == ReportOutcome::kStillTrying) {
    // Only the final report says what became of the message.
    char status[8];
    std::snprintf(status, sizeof status, "0x%02X", static_cast<unsigned>(report.reportStatus));
    Logger::log(0, "Delivery report for SMS to " + toUtf8(report.source) + " (reference " +
                       std::to_string(report.refid) +
                       "): the service centre is still trying (status " + status + ")");
    if (events_ != nullptr) {
      MessageEvent event = MessageEvent::of(MessageEvent::Kind::Report, report);
      event.status = "still trying";
      events_->tell(event);
    }
    freeModemMemory(report);
    return;
  }
  const bool delivered = outcome == ReportOutcome::kDelivered;
  if (markDeliveryReport(stores_.sent(), report, delivered)) {
    window_.balloon(loadString(40259), formatString(delivered ? 40260 : 40261, {report.source}));
    if (metrics_ != nullptr) {
      // The time the centre names; the report's own when it names none.
      const long long time = report.dischargeTime != 0 ? report.dischargeTime : report.timestamp;
      metrics_->outcomes().remember(toUtf8(report.custom), {std::string(), time});
    }
    if (events_ != nullptr) {
      MessageEvent event = MessageEvent::of(MessageEvent::Kind::Report, report);
      event.status = delivered ? "delivered" : "not delivered";
      events_->post(std::move(event));
    }
  }
  // After the sent folder has been saved: a crash before this keeps the report in the modem.
  freeModemMemory(report);
}

void IncomingProcessor::handleMessage(const GenericMessage& message, bool checkInbox) {
  state_.countReceived();
  Logger::log(0, formatString(40070, {message.source}));

  if (isDuplicate(message, checkInbox)) {
    Logger::log(0, loadString(40276));
    // An earlier copy is in the inbox already.
    freeModemMemory(message);
    dispatcher_.dispatchNext();
    return;
  }

  const NumberPatterns denied = NumberPatterns::parse(settings_.getString("incoming.deny"));
  if (const std::u16string_view pattern = denied.match(message.source); !pattern.empty()) {
    keepDenied(message, pattern);
    return;
  }

  // Known as the last message before the balloon shows it: "View last SMS" opened from the
  // balloon finds this one.
  ReceivedMessageSummary summary{message.source, message.content, message.getUrl(),
                                 static_cast<std::time_t>(message.timestamp)};
  state_.setLastReceived(summary);
  window_.balloon(formatString(40070, {message.source}), message.content);
  Logger::log(0, message.content);
  GenericDatabase& inbox = stores_.inbox();
  inbox.put(incomingRecord(message, false, inbox.newIdText()));
  if (inbox.save() == 0) {
    if (metrics_ != nullptr) metrics_->received();
    if (events_ != nullptr) events_->post(MessageEvent::of(MessageEvent::Kind::Received, message));
    freeModemMemory(message);
  } else {
    Logger::log(3, std::string("Can't save the inbox; the message is left in the modem memory"));
  }
  window_.messageReceived(summary);
  dispatcher_.dispatchNext();
}

bool IncomingProcessor::isDuplicate(const GenericMessage& message, bool checkInbox) {
  bool duplicate = false;
  if (readReadMode(settings_) == ReadMode::kPolling) {
    duplicate = duplicates_.checkAndAdd(message);
  }
  if (!duplicate && (checkInbox || settings_.getInt("discard_duplicated") != 0)) {
    duplicate = inInbox(message);
  }
  return duplicate;
}

bool IncomingProcessor::inInbox(const GenericMessage& message) const {
  // The fields as the inbox stores them (flattened, escaped).
  const DatabaseRecord record = incomingRecord(message, false, std::u16string());
  std::vector<unsigned> columns;
  std::vector<std::u16string> values;
  for (std::u16string_view name : {u"timestamp", u"content"}) {
    const auto column = static_cast<unsigned>(columnIndex(StoreKind::Inbox, name));
    columns.push_back(column);
    values.push_back(record[column]);
  }
  const auto from = static_cast<unsigned>(columnIndex(StoreKind::Inbox, u"from"));
  // The search ignores case; the same text means the same characters. The sender is compared
  // apart: records of earlier versions hold international numbers without their "+".
  for (const DatabaseRecord& found : stores_.inbox().selectMatchingAll(columns, values, 0)) {
    bool same = from < found.size() && sameNumber(found[from], record[from]);
    for (unsigned column : columns)
      same = same && column < found.size() && found[column] == record[column];
    if (same) return true;
  }
  return false;
}

void IncomingProcessor::keepDenied(const GenericMessage& message, std::u16string_view pattern) {
  const bool store = settings_.getInt("incoming.deny_action") == 1;
  bool saved = true;
  if (store) {
    GenericDatabase& inbox = stores_.inbox();
    inbox.put(incomingRecord(message, true, inbox.newIdText()));
    saved = inbox.save() == 0;
  }
  Logger::log(1, formatText(store ? u"SMS from %s stored as handled: \"%s\" in incoming.deny"
                                  : u"SMS from %s dropped: \"%s\" in incoming.deny",
                            {message.source, std::u16string(pattern)}));
  if (saved) {
    // Whatever the delete mode: a sender that is not wanted must not fill the modem memory.
    for (ModemSlot slot : message.memorySlots) {
      if (slot.index >= 0) sender_.enqueue(deleteReadMessageCommand(slot));
    }
  } else {
    Logger::log(3, std::string("Can't save the inbox; the message is left in the modem memory"));
  }
  dispatcher_.dispatchNext();
}

void IncomingProcessor::freeModemMemory(const GenericMessage& message) {
  switch (readDeleteMode(settings_)) {
    case DeleteMode::kEachMessage:
      for (ModemSlot slot : message.memorySlots) {
        if (slot.index >= 0) sender_.enqueue(deleteReadMessageCommand(slot));
      }
      break;
    case DeleteMode::kAllAfterCount: {
      const int after = settings_.getInt("sender.delete_after");
      if (after > 0 && state_.receivedCount() % after == 0) {
        sender_.enqueue(deleteAllCommand(settings_));
      }
      break;
    }
    case DeleteMode::kNever:
      break;
  }
}

}  // namespace parlane
