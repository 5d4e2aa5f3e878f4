// The service's counters and their Prometheus text, without a server.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "service/HttpMetricsText.h"
#include "service/ServiceMetrics.h"

namespace parlane {
namespace {

struct LineCase {
  std::string name;
  std::string line;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

// Sent 3 (latencies 40 ms, 300 ms, one never saved here), failed 1, received 2, reports 1 of each.
class MetricsTextLine : public testing::TestWithParam<LineCase> {
 protected:
  static std::string text() {
    ServiceMetrics metrics;
    metrics.saved(1, 1000);
    metrics.saved(2, 1000);
    metrics.saved(4, 1000);
    metrics.notSaved(4);
    metrics.sent(1, 1040);
    metrics.sent(2, 1300);
    metrics.sent(3, 5000);
    metrics.sent(4, 5000);
    metrics.failed();
    metrics.received();
    metrics.received();
    metrics.report(ServiceMetrics::Report::Delivered);
    metrics.report(ServiceMetrics::Report::NotDelivered);
    metrics.report(ServiceMetrics::Report::StillTrying);
    return metricsText(metrics, GatewayGauges{7, "connected", 64});
  }
};

TEST_P(MetricsTextLine, IsThere) {
  const std::string all = text();
  EXPECT_NE(all.find("\n" + GetParam().line + "\n"), std::string::npos) << all;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MetricsTextLine,
    testing::Values(LineCase{"Sent", "parlane_messages_sent_total 4"},
                    LineCase{"SentIsACounter", "# TYPE parlane_messages_sent_total counter"},
                    LineCase{"Failed", "parlane_messages_failed_total 1"},
                    LineCase{"Received", "parlane_messages_received_total 2"},
                    LineCase{"Delivered", "parlane_reports_total{status=\"delivered\"} 1"},
                    LineCase{"NotDelivered", "parlane_reports_total{status=\"not_delivered\"} 1"},
                    LineCase{"StillTrying", "parlane_reports_total{status=\"still_trying\"} 1"},
                    LineCase{"Outbox", "parlane_outbox_messages 7"},
                    LineCase{"Connected", "parlane_connection_state{state=\"connected\"} 1"},
                    LineCase{"NotInError", "parlane_connection_state{state=\"error\"} 0"},
                    LineCase{"Signal", "parlane_signal_percent 64"},
                    LineCase{"FastBucket", "parlane_send_latency_seconds_bucket{le=\"0.05\"} 1"},
                    LineCase{"SlowerBucketIsCumulative",
                             "parlane_send_latency_seconds_bucket{le=\"0.25\"} 1"},
                    LineCase{"BothBySecond", "parlane_send_latency_seconds_bucket{le=\"0.5\"} 2"},
                    LineCase{"AllTimed", "parlane_send_latency_seconds_bucket{le=\"+Inf\"} 2"},
                    LineCase{"Sum", "parlane_send_latency_seconds_sum 0.340"},
                    LineCase{"Count", "parlane_send_latency_seconds_count 2"},
                    LineCase{"Histogram", "# TYPE parlane_send_latency_seconds histogram"}),
    [](const testing::TestParamInfo<LineCase>& info) { return info.param.name; });

TEST(MetricsText, LeavesTheSignalOutWhileNotConnected) {
  const std::string text = metricsText(ServiceMetrics{}, GatewayGauges{0, "disconnected", {}});
  EXPECT_EQ(text.find("parlane_signal_percent"), std::string::npos);
  EXPECT_NE(text.find("parlane_connection_state{state=\"disconnected\"} 1"), std::string::npos);
}

// The service thread counts while the HTTP door's workers read: nothing is lost or torn.
TEST(ServiceMetricsThreads, CountEveryEventFromEveryThread) {
  constexpr int kThreads = 4;
  constexpr int kEach = 5000;
  ServiceMetrics metrics;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&metrics, t] {
      for (int i = 0; i < kEach; ++i) {
        const std::int32_t id = t * kEach + i;
        metrics.saved(id, 0);
        metrics.sent(id, 100);
        metrics.failed();
        metrics.received();
        metrics.report(ServiceMetrics::Report::Delivered);
        metrics.outcomes().remember("m" + std::to_string(id), {"why", id});
      }
    });
  }
  threads.emplace_back([&metrics] {
    for (int i = 0; i < kEach; ++i) {
      const ServiceMetrics::Latency latency = metrics.latency();
      ASSERT_LE(latency.atOrBelow[0], latency.count);
    }
  });
  for (std::thread& thread : threads) thread.join();
  const std::uint64_t all = kThreads * kEach;
  EXPECT_EQ(metrics.sentCount(), all);
  EXPECT_EQ(metrics.failedCount(), all);
  EXPECT_EQ(metrics.receivedCount(), all);
  EXPECT_EQ(metrics.reportCount(ServiceMetrics::Report::Delivered), all);
  EXPECT_EQ(metrics.latency().count, all);
  EXPECT_EQ(metrics.latency().sumMs, all * 100);
}

TEST(MessageOutcomes, KeepsOnlyTheNewest) {
  MessageOutcomes outcomes;
  for (std::size_t i = 0; i <= MessageOutcomes::kMaxKept; ++i) {
    outcomes.remember("m" + std::to_string(i), {"why", 1});
  }
  EXPECT_FALSE(outcomes.find("m0").has_value());
  EXPECT_EQ(outcomes.find("m1")->reason, "why");
}

}  // namespace
}  // namespace parlane
