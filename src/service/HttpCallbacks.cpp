#include "service/HttpCallbacks.h"

#include <ctime>
#include <nlohmann/json.hpp>

#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"
#include "service/UrlEscapes.h"

namespace parlane {

namespace {

// Delivery report values of the dlr-mask.
constexpr int kDelivered = 1;
constexpr int kNotDelivered = 2;
constexpr int kQueuedAtCentre = 4;
constexpr int kAccepted = 8;
constexpr int kRefused = 16;
constexpr int kReportsFromTheCentre = kDelivered | kNotDelivered | kQueuedAtCentre;

constexpr char kStillTrying[] = "still trying";

// "2026-12-10T16:40:00Z" as seconds since 1970; 0 when it is no such time.
long long secondsOf(const std::string& iso) {
  std::tm parts{};
  const char* end = ::strptime(iso.c_str(), "%Y-%m-%dT%H:%M:%SZ", &parts);
  if (end == nullptr || *end != '\0') return 0;
  return static_cast<long long>(::timegm(&parts));
}

}  // namespace

HttpCallbacks::HttpCallbacks(const SettingsStore& settings, int instance,
                             const std::string& queueFile, const std::string& reportFile,
                             const Clock& clock)
    : settings_(settings),
      instance_(instance),
      clock_(clock),
      reportUrls_(reportFile, clock.wallSeconds()),
      queue_(queueFile, clock,
             [&settings] { return toUtf8(settings.getString("http.webhook.secret")); }) {}

std::string HttpCallbacks::webhookBody(const MessageEvent& event, int instance) {
  nlohmann::ordered_json body = nlohmann::ordered_json::object();
  for (const std::string& variable : event.environment(instance)) {
    const std::size_t equals = variable.find('=');
    std::string name = variable.substr(0, equals);
    if (name.starts_with("PARLANE_")) name.erase(0, 8);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    body[name] = variable.substr(equals + 1);
  }
  return body.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

void HttpCallbacks::onEvent(const MessageEvent& event) {
  if (event.status != kStillTrying) webhooks(event);
  if (event.kind == MessageEvent::Kind::Received) incoming(event);
  deliveryReport(event);
}

void HttpCallbacks::webhooks(const MessageEvent& event) {
  std::string body;
  for (int i = 0;; ++i) {
    const std::string url = toUtf8(settings_.getStringByPattern("http.webhook.url.%d", i));
    if (url.empty()) break;
    if (body.empty()) body = webhookBody(event, instance_);
    queue_.add(QueuedCallback{"POST", url, body,
                              std::string("webhook of the ") + MessageEvent::kindName(event.kind) +
                                  " event of message " + event.id});
  }
}

void HttpCallbacks::incoming(const MessageEvent& event) {
  const std::string pattern = toUtf8(settings_.getString("http.incoming_url"));
  if (pattern.empty()) return;
  UrlEscapeValues values;
  values.receiver = event.number;
  values.time = secondsOf(event.time);
  values.id = event.id;
  values.text = event.text;
  values.instance = std::to_string(instance_);
  queue_.add(QueuedCallback{"GET", expandUrlEscapes(pattern, values, UrlEscapeSet::Incoming), "",
                            "incoming URL of message " + event.id});
}

void HttpCallbacks::deliveryReport(const MessageEvent& event) {
  using Kind = MessageEvent::Kind;
  if (event.kind == Kind::Sent || event.kind == Kind::Failed) {
    const std::optional<DeliveryReportUrl> entry = reportUrls_.find(event.custom);
    if (!entry) return;
    if (event.kind == Kind::Failed) {
      if ((entry->mask & kRefused) != 0) fetchReportUrl(*entry, kRefused, event.reason);
      reportUrls_.remove(entry->id);
      return;
    }
    DeliveryReportUrl sent = *entry;
    sent.reference = event.reference;
    sent.sentTo = event.number;
    if ((sent.mask & kAccepted) != 0) fetchReportUrl(sent, kAccepted, "+CMGS: " + event.reference);
    if ((entry->mask & kReportsFromTheCentre) == 0) {
      reportUrls_.remove(entry->id);
    } else {
      reportUrls_.setSent(entry->id, event.reference, event.number);
    }
    return;
  }
  if (event.kind != Kind::Report) return;
  // A final report names the message it was matched with; one of a centre still trying does not.
  std::optional<DeliveryReportUrl> entry;
  if (!event.custom.empty()) entry = reportUrls_.find(event.custom);
  if (!entry) entry = reportUrls_.findSent(event.reference, event.number);
  if (!entry) return;
  if (event.status == kStillTrying) {
    if ((entry->mask & kQueuedAtCentre) != 0) fetchReportUrl(*entry, kQueuedAtCentre, event.status);
    return;
  }
  const int value = event.status == "delivered" ? kDelivered : kNotDelivered;
  if ((entry->mask & value) != 0) fetchReportUrl(*entry, value, event.status);
  reportUrls_.remove(entry->id);
}

void HttpCallbacks::fetchReportUrl(const DeliveryReportUrl& entry, int value,
                                   const std::string& answer) {
  UrlEscapeValues values;
  values.reportValue = std::to_string(value);
  values.receiver = entry.receiver;
  values.sender = entry.sender;
  values.time = clock_.wallSeconds();
  values.id = entry.id;
  values.answer = answer;
  values.reference = entry.reference;
  queue_.add(QueuedCallback{"GET",
                            expandUrlEscapes(entry.url, values, UrlEscapeSet::DeliveryReport), "",
                            "report URL (" + std::to_string(value) + ") of message " + entry.id});
}

}  // namespace parlane
