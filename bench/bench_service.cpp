// The service thread and scheduler at work against a modem at the far end of a pseudo-terminal:
// (1) messages per second from the outbox to "sent" with "sender.delay" 0 on a modem that answers
// at once; (2) a connected, silent gateway: CPU time and thread wake-ups per second; (3) a modem
// that takes 2.5 s to accept each message: the share of its own rate the gateway keeps; (4) the
// first sends from an outbox of 200, 10,000 and 100,000 records, each size run several times in
// turn with the others ("--queued" runs these alone).

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"
#include "message/SMSMessage.h"
#include "storage/MessageRecords.h"
#include "storage/MessageStores.h"
#include "support/ProcessTimes.h"
#include "support/ScriptedModem.h"
#include "support/ServiceOnPort.h"
#include "support/TempDir.h"

namespace parlane {
namespace {

using SteadyClock = std::chrono::steady_clock;

using bench::answerAsAModem;
using bench::ProcessTimes;
using bench::ServiceOnPort;

// A send that fails is tried again, as the default configuration has it.
void threeRetries(SettingsStore& settings) { settings.setInt("sender.retries", 3); }

void queue(ServiceOnPort& gateway, int count) {
  MessageStores& stores = gateway.gateway().stores();
  for (int i = 0; i < count; ++i) {
    SMSMessage message(u"", u"+4917012345", u"Message number " + fromAscii(std::to_string(i)));
    stores.outbox().put(outgoingRecord(message, StoreKind::Outbox, stores.outbox().newIdText()));
  }
  stores.outbox().save();
}

double secondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

// Looks every 5 ms: a watcher waking every millisecond takes a share of two cores from the very
// threads it measures, and the error it leaves is 1% of a window of half a second.
void waitForSent(ServiceOnPort& gateway, std::size_t count) {
  while (gateway.sent() < count) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// The machine's load average over the last minute: the figures beside it are only as steady as
// the machine was.
std::string loadAverage() {
  std::ifstream loadavg("/proc/loadavg");
  std::string minute;
  loadavg >> minute;
  return minute;
}

void throughput(int count) {
  const test::TempDir folder;
  test::ScriptedModem modem;
  answerAsAModem(modem, std::chrono::milliseconds(0));
  ServiceOnPort gateway(modem.portPath(), folder.path(), threeRetries);
  queue(gateway, count);
  const SteadyClock::time_point start = SteadyClock::now();
  gateway.start();
  waitForSent(gateway, static_cast<std::size_t>(count));
  const double seconds = secondsSince(start);
  std::printf("outbox to sent, instant modem: %d messages in %.2f s = %.1f messages/s\n", count,
              seconds, count / seconds);
}

// The first `measured` sends from an outbox of `queued` records, after the first one (the
// connection doesn't count): a send result must cost the same whatever the queue behind it.
double queuedThroughput(int queued, int measured) {
  const test::TempDir folder;
  test::ScriptedModem modem;
  answerAsAModem(modem, std::chrono::milliseconds(0));
  ServiceOnPort gateway(modem.portPath(), folder.path(), threeRetries);
  queue(gateway, queued);
  gateway.start();
  waitForSent(gateway, 1);
  const SteadyClock::time_point start = SteadyClock::now();
  waitForSent(gateway, static_cast<std::size_t>(measured + 1));
  return measured / secondsSince(start);
}

// Several runs of each queue size, each with a fresh gateway and folder, the sizes taking turns
// so that a spell of load on the machine falls on all of them alike. The figure is the median of
// a size's runs: a run that shares the machine with a compiler or with another program's flushes
// to the disk says more about those than about the gateway.
void queueSizes(bool quick) {
  const int runs = quick ? 3 : 5;
  const std::vector<int> sizes{200, 10000, 100000};
  std::vector<std::vector<double>> rates(sizes.size());
  const std::string loadBefore = loadAverage();
  for (int run = 0; run < runs; ++run) {
    for (size_t i = 0; i < sizes.size(); ++i) {
      // A small queue gives short windows, which one slow flush to the disk spoils: it takes
      // more runs, so that each size is measured over about as many sends.
      const int measured = std::min(sizes[i] - 1, 1000);
      for (int k = 0; k < std::max(1, 1000 / measured); ++k) {
        rates[i].push_back(queuedThroughput(sizes[i], measured));
      }
    }
  }
  std::vector<double> medians;
  for (size_t i = 0; i < sizes.size(); ++i) {
    std::string list;
    for (double rate : rates[i]) {
      char text[32];
      std::snprintf(text, sizeof text, "%s%.0f", list.empty() ? "" : ", ", rate);
      list += text;
    }
    std::vector<double> sorted = rates[i];
    std::sort(sorted.begin(), sorted.end());
    medians.push_back(sorted[sorted.size() / 2]);
    std::printf(
        "outbox to sent with %d queued, %d sends after the first: runs %s; median %.0f "
        "messages/s (target at least 428, twice the fastest peer's 214)\n",
        sizes[i], std::min(sizes[i] - 1, 1000), list.c_str(), medians.back());
  }
  std::printf(
      "largest queue against smallest: ratio of the medians %.2f (target at least 0.9); load "
      "average %s before the runs, %s after\n",
      medians.back() / medians.front(), loadBefore.c_str(), loadAverage().c_str());
}

void idle(int seconds) {
  const test::TempDir folder;
  test::ScriptedModem modem;
  answerAsAModem(modem, std::chrono::milliseconds(0));
  ServiceOnPort gateway(modem.portPath(), folder.path(), threeRetries);
  gateway.start();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const ProcessTimes before = bench::threadTimes();
  const SteadyClock::time_point start = SteadyClock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const ProcessTimes after = bench::threadTimes();
  const double elapsed = secondsSince(start);
  const double cpu = static_cast<double>(after.cpuTicks - before.cpuTicks) /
                     static_cast<double>(::sysconf(_SC_CLK_TCK));
  std::printf("idle, connected and silent for %.0f s: CPU %.3f%% of one core, %.1f wake-ups/s\n",
              elapsed, 100.0 * cpu / elapsed,
              static_cast<double>(after.switches - before.switches) / elapsed);
}

void slowModem(int count) {
  const test::TempDir folder;
  test::ScriptedModem modem;
  answerAsAModem(modem, std::chrono::milliseconds(2500));
  ServiceOnPort gateway(modem.portPath(), folder.path(), threeRetries);
  queue(gateway, count + 1);
  gateway.start();
  // From the first message accepted to the last, so the connection does not count.
  waitForSent(gateway, 1);
  const SteadyClock::time_point start = SteadyClock::now();
  waitForSent(gateway, static_cast<std::size_t>(count + 1));
  const double perMinute = count / secondsSince(start) * 60.0;
  std::printf("modem taking 2.5 s per message: %.2f messages/min = %.1f%% of its 24/min\n",
              perMinute, perMinute / 24.0 * 100.0);
}

}  // namespace
}  // namespace parlane

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
  // "--queued": the throughput by queue size alone.
  if (argc > 1 && std::string(argv[1]) == "--queued") {
    parlane::queueSizes(false);
    return 0;
  }
  parlane::throughput(quick ? 200 : 1000);
  parlane::queueSizes(quick);
  parlane::idle(quick ? 5 : 30);
  parlane::slowModem(quick ? 4 : 12);
  return 0;
}
