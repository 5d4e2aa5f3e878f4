// The HTTP door of a connected gateway (the service layer against a modem at the far end of a
// pseudo-terminal that accepts each message at once):
//   1. sendsms on loopback: as many clients on kept-alive connections as the door has workers,
//      each request answered only once its message is saved in the outbox; requests per second,
//      median and 99th percentile;
//   2. idle, connected and silent, with the door off and on: thread wake-ups per second.
// Prints figures and targets; asserts nothing. "--quick" runs shorter; CLIENTS=n sets the number
// of clients.

#include <httplib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "core/settings/SettingsStore.h"
#include "service/Gateway.h"
#include "service/HttpDoor.h"
#include "support/ProcessTimes.h"
#include "support/ScriptedModem.h"
#include "support/ServiceOnPort.h"
#include "support/TempDir.h"

namespace parlane {
namespace {

using SteadyClock = std::chrono::steady_clock;

using bench::answerAsAModem;
using bench::wakeUps;

// The gateway's service layer on a port, connected, with the HTTP door on 127.0.0.1 when asked.
class GatewayOnPort : public bench::ServiceOnPort {
 public:
  GatewayOnPort(const std::string& port, const std::string& folder, bool http)
      : ServiceOnPort(port, folder, [http](SettingsStore& settings) {
          settings.setInt("http.enabled", http ? 1 : 0);
          settings.setString("http.listen", u"127.0.0.1:0");
          settings.setString("http.users.0.name", u"bench");
          settings.setString("http.users.0.password", u"bench");
        }) {
    start();
  }
  int httpPort() { return gateway().http() != nullptr ? gateway().http()->port() : 0; }
};

double percentile(std::vector<double>& sorted, double share) {
  const auto index = static_cast<std::size_t>(share * static_cast<double>(sorted.size() - 1));
  return sorted[index];
}

void sendSms(int clients, int perClient) {
  const test::TempDir folder;
  test::ScriptedModem modem;
  answerAsAModem(modem);
  GatewayOnPort gateway(modem.portPath(), folder.path(), true);
  const int port = gateway.httpPort();
  std::vector<std::vector<double>> latencies(static_cast<std::size_t>(clients));
  std::atomic<int> accepted{0};
  std::atomic<int> refused{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&, c] {
      httplib::Client client("127.0.0.1", port);
      client.set_keep_alive(true);
      std::vector<double>& mine = latencies[static_cast<std::size_t>(c)];
      mine.reserve(static_cast<std::size_t>(perClient));
      while (!go.load()) std::this_thread::yield();
      for (int i = 0; i < perClient; ++i) {
        const std::string query =
            "/cgi-bin/sendsms?username=bench&password=bench&to=%2B4917012345"
            "&text=PROBLEM+host+" +
            std::to_string(c) + "-" + std::to_string(i) + "+is+DOWN";
        const SteadyClock::time_point start = SteadyClock::now();
        const httplib::Result result = client.Get(query);
        mine.push_back(
            std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count());
        (result && result->status == 202 ? accepted : refused).fetch_add(1);
      }
    });
  }
  const SteadyClock::time_point start = SteadyClock::now();
  go.store(true);
  for (std::thread& thread : threads) thread.join();
  const double elapsed = std::chrono::duration<double>(SteadyClock::now() - start).count();
  std::vector<double> all;
  for (const auto& mine : latencies) all.insert(all.end(), mine.begin(), mine.end());
  std::sort(all.begin(), all.end());
  std::printf(
      "sendsms on loopback, %d clients x %d requests, each answered after its outbox save: "
      "%d accepted, %d refused in %.2f s = %.0f accepted/s (target >= 1000/s); latency median "
      "%.2f ms, 99th percentile %.2f ms (target < 20 ms), max %.2f ms; sent meanwhile %zu\n",
      clients, perClient, accepted.load(), refused.load(), elapsed, accepted.load() / elapsed,
      percentile(all, 0.5), percentile(all, 0.99), all.back(), gateway.sent());
}

void idle(int seconds, bool http) {
  const test::TempDir folder;
  test::ScriptedModem modem;
  answerAsAModem(modem);
  GatewayOnPort gateway(modem.portPath(), folder.path(), http);
  if (http && gateway.httpPort() == 0) {
    std::printf("idle: the HTTP door did not start\n");
    return;
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const long before = wakeUps();
  const SteadyClock::time_point start = SteadyClock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double elapsed = std::chrono::duration<double>(SteadyClock::now() - start).count();
  std::printf(
      "idle, connected and silent for %.0f s, http.enabled %d: %.1f wake-ups/s "
      "(target < 20/s)\n",
      elapsed, http ? 1 : 0, static_cast<double>(wakeUps() - before) / elapsed);
}

}  // namespace
}  // namespace parlane

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
  // CLIENTS=n drives n clients instead: one shows a request's own latency, more than the door's
  // workers shows the waiting places.
  const char* asked = std::getenv("CLIENTS");
  const int clients = std::max(
      1, asked != nullptr ? std::atoi(asked) : static_cast<int>(parlane::HttpDoor::kWorkers));
  parlane::sendSms(clients, (quick ? 2000 : 20000) / clients);
  parlane::idle(quick ? 5 : 30, false);
  parlane::idle(quick ? 5 : 30, true);
  return 0;
}
