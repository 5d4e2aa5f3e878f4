#include "service/SendResultHandler.h"

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/StringTable.h"
#include "core/util/Utf.h"
#include "engine/EngineSink.h"
#include "message/GenericMessage.h"
#include "message/MessageKind.h"
#include "service/EventRunner.h"
#include "service/OutboxDispatcher.h"
#include "service/SendResultRecording.h"
#include "service/ServiceMetrics.h"
#include "service/ServiceScheduler.h"
#include "service/ServiceState.h"
#include "service/ServiceWindow.h"
#include "storage/MessageStores.h"

namespace parlane {

namespace {

bool is(const GenericMessage& message, MessageKind kind) {
  return message.getType() == static_cast<int>(kind);
}

}  // namespace

SendResultHandler::SendResultHandler(const SettingsStore& settings, MessageStores& stores,
                                     ServiceState& state, OutboxDispatcher& dispatcher,
                                     ServiceScheduler& scheduler, ServiceWindow& window,
                                     EventRunner* events, ServiceMetrics* metrics,
                                     const Clock* clock)
    : settings_(settings),
      stores_(stores),
      state_(state),
      dispatcher_(dispatcher),
      scheduler_(scheduler),
      window_(window),
      events_(events),
      metrics_(metrics),
      clock_(clock != nullptr ? *clock : Clock::system()) {}

void SendResultHandler::handle(const GenericMessage& message, int flag) {
  if (!is(message, MessageKind::Sms) && !is(message, MessageKind::Push) &&
      !is(message, MessageKind::Ussd)) {
    return;
  }
  const bool sent = flag == sendFlag::kSent;

  const std::optional<std::u16string> outboxId = dispatcher_.takeSettled(message);
  if (!outboxId && !sent) {
    // The user removed its record while it was being sent, or it was settled by an earlier
    // result (handed over twice across a reconnection): another attempt would send it again.
    Logger::log(1, std::string("Send result of a message no longer in the outbox: not sent again"));
    return;
  }
  if (flag == sendFlag::kCancelled) {
    // No attempt of its own (the sender logged it): the record stays as it is and waits for the
    // next connection.
    dispatcher_.append(*outboxId);
    return;
  }
  // Counted and known before the folders show the message, so that no reader of the metrics or
  // of its state finds it filed but not counted, or failed without its reason.
  // No retry after the expiry: the message is given up.
  const bool expired = !sent && message.expires > 0 && message.expires <= messageTimeNow(clock_);
  std::unique_ptr<GenericMessage> given;
  if (expired) {
    given = message.clone();
    given->failureReason = kExpired;
    logExpired(message);
  }
  const GenericMessage& filed = given ? *given : message;
  if (sent && metrics_ != nullptr) record(message, SendOutcome::Sent);
  if (!sent) noteFailure(filed);
  const SendRecording recording =
      recordSendResult(filed, sent, expired ? 0 : settings_.getInt("sender.retries"), outboxId,
                       stores_.outbox(), stores_.sent(), stores_.failed());
  if (!recording.saved) {
    dispatcher_.holdUntilSaved(recording.outcome == SendOutcome::Sent     ? stores_.sent()
                               : recording.outcome == SendOutcome::Failed ? stores_.failed()
                                                                          : stores_.outbox());
  }
  if (events_ != nullptr && recording.outcome != SendOutcome::Requeued) {
    events_->post(MessageEvent::of(recording.outcome == SendOutcome::Sent
                                       ? MessageEvent::Kind::Sent
                                       : MessageEvent::Kind::Failed,
                                   filed));
  }
  if (metrics_ != nullptr && !sent) record(filed, recording.outcome);
  if (sent) {
    state_.lowerErrors();
  } else {
    if (recording.outcome == SendOutcome::Requeued) {
      dispatcher_.append(recording.id);
      dispatcher_.dispatchNext();
    }
    state_.raiseErrors();
    if (settings_.getInt("sms_fail_notify") != 0) tellFailure(filed);
  }

  const int delay = settings_.getInt("sender.delay");
  if (delay < 1) {
    dispatcher_.dispatchNext();
  } else {
    // Timed before the flag says "pause", so that whoever sees the flag finds the end counted
    // from now; the end comes as an item behind this one, so it never clears the flag first.
    scheduler_.add(ServiceScheduler::kSendPause, delay, true);
    state_.setSendPause(true);
  }
}

void SendResultHandler::noteFailure(const GenericMessage& message) {
  if (metrics_ == nullptr) return;
  const std::string reason =
      toUtf8(message.failureReason.empty() ? u"Unknown error" : message.failureReason);
  metrics_->outcomes().remember(toUtf8(message.custom),
                                {reason, static_cast<long long>(clock_.wallSeconds())});
}

void SendResultHandler::logExpired(const GenericMessage& message) {
  Logger::log(2, u"Message " + fromAscii(std::to_string(message.uniqueid)) + u" to " + message.to +
                     u" not sent by its expiry: filed as failed, expired");
}

void SendResultHandler::fileExpired(const GenericMessage& message, const std::u16string& recordId) {
  std::unique_ptr<GenericMessage> expired = message.clone();
  expired->failureReason = kExpired;
  logExpired(message);
  noteFailure(*expired);
  const SendRecording recording = recordSendResult(*expired, false, 0, recordId, stores_.outbox(),
                                                   stores_.sent(), stores_.failed());
  if (!recording.saved) dispatcher_.holdUntilSaved(stores_.failed());
  if (events_ != nullptr) events_->post(MessageEvent::of(MessageEvent::Kind::Failed, *expired));
  if (metrics_ != nullptr) record(*expired, recording.outcome);
  if (settings_.getInt("sms_fail_notify") != 0) tellFailure(*expired);
}

void SendResultHandler::record(const GenericMessage& message, SendOutcome outcome) {
  if (is(message, MessageKind::Ussd)) {
    // Its answer is the network's reply; only a failure ends it here.
    if (outcome == SendOutcome::Failed) {
      metrics_->ussd().failed(
          toUtf8(message.custom),
          toUtf8(message.failureReason.empty() ? u"Unknown error" : message.failureReason));
    }
    return;
  }
  if (outcome == SendOutcome::Sent) {
    metrics_->sent(message.uniqueid, clock_.monotonicMs());
  } else if (outcome == SendOutcome::Failed) {
    metrics_->failed();
  }
}

void SendResultHandler::tellFailure(const GenericMessage& message) {
  if (is(message, MessageKind::Ussd)) {
    window_.balloon(loadString(40209), formatString(40208, {message.content}));
  } else {
    // The result carries its own reason: the sender's last error may be a later message's.
    const std::u16string reason =
        message.failureReason.empty() ? std::u16string(u"Unknown error") : message.failureReason;
    window_.balloon(loadString(40093), formatString(40092, {message.to, reason}));
  }
}

}  // namespace parlane
