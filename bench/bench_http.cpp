// The HTTP door of a connected gateway (the service layer against a modem at the far end of a
// pseudo-terminal that accepts each message at once):
//   1. sendsms on loopback: as many clients on kept-alive connections as the door has workers,
//      each request answered only once its message is saved in the outbox; requests per second,
//      median and 99th percentile;
//   2. idle, connected and silent, with the door off and on: thread wake-ups per second.
// Prints figures and targets; asserts nothing. "--quick" runs shorter.

#include <httplib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"
#include "service/CServiceThread.h"
#include "service/Gateway.h"
#include "service/HttpDoor.h"
#include "service/ServiceWindow.h"
#include "storage/FolderSchema.h"
#include "storage/MessageStores.h"
#include "support/ScriptedModem.h"
#include "support/TempDir.h"
#include "transport/AsyncSerialComm.h"

namespace parlane {
namespace {

using SteadyClock = std::chrono::steady_clock;

void answerAsAModem(test::ScriptedModem& modem) {
  modem.onPrefix("AT+CMGS=", "\r\n> ");
  auto reference = std::make_shared<int>(0);
  modem.onCommand([reference](const std::string& command, std::string& reply) {
    if (command.size() <= 20 || command[0] < '0' || command[0] > '9') return false;
    reply = "\r\n+CMGS: " + std::to_string(++*reference % 256) + "\r\n\r\nOK\r\n";
    return true;
  });
  modem.onPrefix("AT+CPMS?", "\r\n+CPMS: \"SM\",0,20,\"SM\",0,20,\"SM\",0,20\r\n\r\nOK\r\n");
  modem.onPrefix("", "\r\nOK\r\n");
}

class QuietWindow : public ServiceWindow {
 public:
  void showConnectionState(ConnectionState state, std::u16string_view) override {
    connected_.store(state == ConnectionState::Connected);
  }
  void balloon(std::u16string_view, std::u16string_view) override {}
  void postCommand(int) override {}
  void writeStatusFile() override {}
  bool connected() const { return connected_.load(); }

 private:
  std::atomic<bool> connected_{false};
};

// Voluntary context switches of every thread of the process.
long wakeUps() {
  long total = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream status(task.path() / "status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) {
        total += std::stol(line.substr(line.find(':') + 1));
      }
    }
  }
  return total;
}

// The gateway's service layer on a port, with the HTTP door on 127.0.0.1 when asked.
class GatewayOnPort {
 public:
  GatewayOnPort(const std::string& port, const std::string& folder, bool http)
      : gateway_(settings_, GatewayOptions{.dataFolder = folder,
                                           .emulator = false,
                                           .spool = false,
                                           .events = false,
                                           .instanceFiles = false,
                                           .finishSending = false}) {
    for (StoreKind kind : kAllStores) {
      settings_.setString(std::u16string(storeName(kind)) + u".filename",
                          storeName(kind) + u".txt");
    }
    settings_.setString("modem.port", fromUtf8(port));
    settings_.setString("modem.init", u"ATZ");
    settings_.setInt("modem.default", 1);
    settings_.setInt("modem.checks", 0);
    settings_.setInt("modem.use_features", 0);
    settings_.setInt("sender.read_mode", 0);
    settings_.setInt("sender.timeout", 10000);
    settings_.setInt("sender.timeout.connect", 10000);
    settings_.setInt("sender.delay", 0);
    settings_.setInt("receiver.polling_time", 30);
    settings_.setInt("status.time", 10);
    settings_.setInt("modem.reconnect.time", 60);
    settings_.setInt("http.enabled", http ? 1 : 0);
    settings_.setString("http.listen", u"127.0.0.1:0");
    settings_.setString("http.users.0.name", u"bench");
    settings_.setString("http.users.0.password", u"bench");
    gateway_.open();
    gateway_.attach(window_);
    gateway_.start();
    gateway_.service()->requestConnect();
    while (!window_.connected()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~GatewayOnPort() {
    gateway_.channel().close();
    gateway_.stop();
    gateway_.detach();
  }
  int httpPort() { return gateway_.http() != nullptr ? gateway_.http()->port() : 0; }
  std::size_t sent() { return gateway_.stores().sent().count(); }

 private:
  SettingsStore settings_;
  QuietWindow window_;
  Gateway gateway_;
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
  const int clients = std::getenv("CLIENTS") ? std::atoi(std::getenv("CLIENTS")) : 16;
  parlane::sendSms(clients, (quick ? 2000 : 20000) / clients);
  parlane::idle(quick ? 5 : 30, false);
  parlane::idle(quick ? 5 : 30, true);
  return 0;
}
