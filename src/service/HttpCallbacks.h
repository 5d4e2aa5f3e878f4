#pragma once

#include <memory>
#include <string>

#include "core/util/Clock.h"
#include "service/CallbackQueue.h"
#include "service/DeliveryReportUrls.h"
#include "service/MessageEvent.h"

namespace parlane {

class SettingsStore;

// The HTTP door's outgoing calls, made from the message events: each webhook
// ("http.webhook.url.0", ".1", ...) gets every event as a signed JSON POST; "http.incoming_url"
// is fetched for every stored incoming message; a sendsms request's "dlr-url" is fetched for the
// events its "dlr-mask" names. All go through one CallbackQueue.
class HttpCallbacks {
 public:
  // `queueFile` keeps the waiting calls, `reportFile` the report URLs of sent messages.
  HttpCallbacks(const SettingsStore& settings, int instance, const std::string& queueFile,
                const std::string& reportFile, const Clock& clock);

  void start() { queue_.start(); }
  void stop() { queue_.stop(); }

  // The event of a message (the event runner's listener): the service thread.
  void onEvent(const MessageEvent& event);

  DeliveryReportUrls& reportUrls() { return reportUrls_; }
  CallbackQueue& queue() { return queue_; }

  // A webhook's body: the event's PARLANE_* variables as JSON fields, named in lower case without
  // the prefix ({"event":"received","id":"12",...}).
  static std::string webhookBody(const MessageEvent& event, int instance);

 private:
  void webhooks(const MessageEvent& event);
  void incoming(const MessageEvent& event);
  void deliveryReport(const MessageEvent& event);
  void fetchReportUrl(const DeliveryReportUrl& entry, int value, const std::string& answer);

  const SettingsStore& settings_;
  const int instance_;
  const Clock& clock_;
  DeliveryReportUrls reportUrls_;
  CallbackQueue queue_;
};

}  // namespace parlane
