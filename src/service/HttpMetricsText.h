#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace parlane {

class ServiceMetrics;

// What the metrics show besides the counters: read when asked.
struct GatewayGauges {
  std::size_t outbox = 0;
  std::string connection;            // disconnected, connecting, connected, error
  std::optional<int> signalPercent;  // while connected
};

// The metrics in the Prometheus text exposition format (version 0.0.4).
std::string metricsText(const ServiceMetrics& metrics, const GatewayGauges& gauges);

}  // namespace parlane
