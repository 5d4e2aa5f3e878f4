#include "service/HttpMetricsText.h"

#include <cstdio>

#include "service/ServiceMetrics.h"

namespace parlane {

namespace {

void family(std::string& out, const char* name, const char* type, const char* help) {
  out += "# HELP ";
  out += name;
  out += ' ';
  out += help;
  out += "\n# TYPE ";
  out += name;
  out += ' ';
  out += type;
  out += '\n';
}

void sample(std::string& out, const std::string& name, std::uint64_t value) {
  out += name + ' ' + std::to_string(value) + '\n';
}

std::string seconds(std::uint64_t ms, const char* format = "%.3f") {
  char text[32];
  std::snprintf(text, sizeof text, format, static_cast<double>(ms) / 1000.0);
  return text;
}

}  // namespace

std::string metricsText(const ServiceMetrics& metrics, const GatewayGauges& gauges) {
  std::string out;
  family(out, "parlane_messages_sent_total", "counter", "Messages the modem accepted.");
  sample(out, "parlane_messages_sent_total", metrics.sentCount());
  family(out, "parlane_messages_failed_total", "counter",
         "Messages filed in failed after their last attempt.");
  sample(out, "parlane_messages_failed_total", metrics.failedCount());
  family(out, "parlane_messages_received_total", "counter", "Messages stored in the inbox.");
  sample(out, "parlane_messages_received_total", metrics.receivedCount());
  family(out, "parlane_reports_total", "counter", "Delivery reports by status.");
  sample(out, "parlane_reports_total{status=\"delivered\"}",
         metrics.reportCount(ServiceMetrics::Report::Delivered));
  sample(out, "parlane_reports_total{status=\"not_delivered\"}",
         metrics.reportCount(ServiceMetrics::Report::NotDelivered));
  sample(out, "parlane_reports_total{status=\"still_trying\"}",
         metrics.reportCount(ServiceMetrics::Report::StillTrying));
  family(out, "parlane_outbox_messages", "gauge", "Messages waiting in the outbox.");
  sample(out, "parlane_outbox_messages", gauges.outbox);
  family(out, "parlane_connection_state", "gauge", "The modem connection's state (1: this one).");
  for (const char* state : {"disconnected", "connecting", "connected", "error"}) {
    sample(out, std::string("parlane_connection_state{state=\"") + state + "\"}",
           gauges.connection == state ? 1 : 0);
  }
  if (gauges.signalPercent) {
    family(out, "parlane_signal_percent", "gauge", "Signal strength in percent.");
    sample(out, "parlane_signal_percent", static_cast<std::uint64_t>(*gauges.signalPercent));
  }
  family(out, "parlane_send_latency_seconds", "histogram",
         "Time from the outbox save to the modem's accept.");
  const ServiceMetrics::Latency latency = metrics.latency();
  for (std::size_t i = 0; i < ServiceMetrics::kLatencyBoundsMs.size(); ++i) {
    sample(out,
           "parlane_send_latency_seconds_bucket{le=\"" +
               seconds(static_cast<std::uint64_t>(ServiceMetrics::kLatencyBoundsMs[i]), "%g") +
               "\"}",
           latency.atOrBelow[i]);
  }
  sample(out, "parlane_send_latency_seconds_bucket{le=\"+Inf\"}", latency.count);
  out += "parlane_send_latency_seconds_sum " + seconds(latency.sumMs) + '\n';
  sample(out, "parlane_send_latency_seconds_count", latency.count);
  return out;
}

}  // namespace parlane
