// The modem transport: how fast the reply parser turns a realistic mix of modem output into
// events; how long a command takes to its final OK through a pseudo-terminal with a modem that
// answers at once; how often an idle, connected channel's thread wakes up.

#include <benchmark/benchmark.h>
#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"
#include "support/ScriptedModem.h"
#include "transport/AsyncSerialComm.h"
#include "transport/ReceiveBuffer.h"
#include "transport/ReplyParser.h"

namespace {

using namespace parlane;

class CountingSink : public ReplySink {
 public:
  bool accepts(ReplySlot) const override { return true; }
  void deliver(ReplySlot, std::unique_ptr<AsyncEvent> event) override {
    benchmark::DoNotOptimize(event->kind);
    ++events;
  }
  std::size_t events = 0;
};

// What a modem says during a day's work: listings with their PDUs, notifications, replies to the
// initialization, errors, a prompt.
std::string modemTraffic() {
  const std::string pdu =
      "07911326040000F0040B911346610089F60000208062917314080CC8F71D14969741F977FD07";
  const std::string longPdu =
      "0791448720003023440C91449703529096000050015132532240A00500037A020190E9339A9D3EA3E920FA1B"
      "1466B341E472193E079DD3EE73D85DA7EB41E7B41C1407C1CBF43228CC26E3416137390F3AABCFEF36";
  std::string traffic;
  for (int i = 0; i < 20; ++i) {
    traffic += "\r\n+CMGL: " + std::to_string(i) + ",1,,23\r\n" + pdu + "\r\n";
    traffic += "+CMGL: " + std::to_string(i + 100) + ",0,,152\r\n" + longPdu + "\r\n";
  }
  traffic += "\r\nOK\r\n";
  traffic += "AT+CSQ\r\r\n+CSQ: 23,99\r\n\r\nOK\r\n";
  traffic += "\r\n+CMTI: \"SM\",3\r\n\r\n+CDSI: \"SR\",4\r\n";
  traffic += "\r\n+CMGR: 0,,33\r\n" + pdu + "\r\n\r\nOK\r\n";
  traffic += "\r\n+CNMI: (0-3),(0-3),(0,2,3),(0-1),(0)\r\n\r\nOK\r\n";
  traffic += "\r\n+CMS ERROR: 330\r\n\r\n+CME ERROR: 10\r\n\r\nERROR\r\n";
  traffic += "\r\n> ";
  traffic += "\r\n+CMGS: 17\r\n\r\nOK\r\n";
  traffic += "\r\n+CUSD: 2,\"Your current balance is $ 22.10\",15\r\n\r\nOK\r\n";
  return traffic;
}

void BM_ParserThroughput(benchmark::State& state) {
  std::string traffic;
  while (traffic.size() < (1u << 20)) traffic += modemTraffic();
  const std::size_t chunk = static_cast<std::size_t>(state.range(0));
  ReceiveBuffer buffer;
  ReplyParser parser;
  CountingSink sink;
  for (auto _ : state) {
    for (std::size_t at = 0; at < traffic.size(); at += chunk) {
      buffer.appendAndParse(std::string_view(traffic).substr(at, chunk), parser, sink);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * traffic.size()));
  state.counters["events"] = static_cast<double>(sink.events);
}
// Reads of 64 bytes (a slow line), 4 KB (a burst) and 64 KB (a full buffer).
BENCHMARK(BM_ParserThroughput)->Arg(64)->Arg(4096)->Arg(65535)->Unit(benchmark::kMillisecond);

long voluntarySwitches(const std::string& taskDir) {
  std::ifstream status(taskDir + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::stol(line.substr(24));
  }
  return -1;
}

std::string readerTask() {
  DIR* dir = ::opendir("/proc/self/task");
  std::string found;
  while (dirent* entry = ::readdir(dir)) {
    const std::string task = std::string("/proc/self/task/") + entry->d_name;
    std::ifstream comm(task + "/comm");
    std::string name;
    if (std::getline(comm, name) && name == "serial") found = task;
  }
  ::closedir(dir);
  return found;
}

void roundTripAndIdle() {
  SettingsStore settings;
  // A modem that answers every command line with OK at once.
  test::ScriptedModem modem;
  modem.onPrefix("", "\r\nOK\r\n");
  AsyncSerialComm channel(settings);
  ReplyQueue replies;
  channel.setHandler(&replies, ReplySlot::Ok);
  if (!channel.open(fromUtf8(modem.portPath()))) {
    std::printf("round trip: cannot open %s\n", modem.portPath().c_str());
    return;
  }
  channel.setStatus(ChannelStatus::Idle);
  channel.startThread();

  constexpr int kRounds = 3000;
  std::vector<double> micros;
  micros.reserve(kRounds);
  for (int i = 0; i < kRounds + 100; ++i) {
    const auto start = std::chrono::steady_clock::now();
    channel.setAwaitingReply(true);
    channel.sendCommand("AT\r\n");
    auto event = replies.popWithin(std::chrono::seconds(5));
    channel.setAwaitingReply(false);
    const auto end = std::chrono::steady_clock::now();
    if (!event) {
      std::printf("round trip: no OK\n");
      return;
    }
    if (i >= 100) micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
  }
  std::sort(micros.begin(), micros.end());
  std::printf(
      "command round trip through a pseudo-terminal (%d commands): median %.1f us, "
      "99th percentile %.1f us (target: median under 1000 us)\n",
      kRounds, micros[micros.size() / 2], micros[micros.size() * 99 / 100]);

  const std::string task = readerTask();
  if (task.empty()) {
    std::printf("idle channel: reading thread not found\n");
    return;
  }
  constexpr int kIdleSeconds = 10;
  const long before = voluntarySwitches(task);
  std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
  const long after = voluntarySwitches(task);
  std::printf("idle connected channel: %ld wake-ups in %d s = %.2f per second (target 0 to 1)\n",
              after - before, kIdleSeconds, static_cast<double>(after - before) / kIdleSeconds);
  channel.requestStop();
  channel.joinThread();
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  roundTripAndIdle();
  return 0;
}
