// The whole gateway (the real program, headless) against a modem at the far end of a
// pseudo-terminal:
//   1. idle: connected and silent for 30 s: CPU time and thread wake-ups (voluntary context
//      switches of all its threads) per second;
//   2. throughput from the outbox to "sent" with "sender.delay" 0 on a modem that answers at once;
//   3. the rate on a modem that takes 2.5 s to accept each message, against its own rate.
// Prints figures; asserts nothing.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/settings/SettingsStore.h"
#include "message/SMSMessage.h"
#include "storage/MessageRecords.h"
#include "storage/MessageStores.h"
#include "support/ProcessTimes.h"
#include "support/ProgramRun.h"

namespace parlane {
namespace {

using bench::seconds;
using bench::SteadyClock;
using namespace std::chrono_literals;

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::size_t recordCount(const std::string& path) {
  std::size_t count = 0;
  std::istringstream in(readFile(path));
  for (std::string line; std::getline(in, line);) {
    if (line.size() > 1) ++count;
  }
  return count;
}

// The program in a throwaway profile: the default configuration with a few keys changed.
class Gateway {
 public:
  Gateway(const std::string& port, const std::map<std::string, std::string>& changes, int queued)
      : run_(std::chrono::hours(1)), root_(run_.root()) {
    std::filesystem::create_directories(dataFolder());
    std::map<std::string, std::string> values = {
        {"modem.port", port},
        {"logger.common", root_ + "/gateway.log"},
        {"status.file", root_ + "/gateway.status"},
        {"start.bubble", "0"},
        {"start.welcome", "0"},
        {"start.connect", "1"},
    };
    for (const auto& [key, value] : changes) values[key] = value;
    const std::string text = run_.writeConfiguration(values);

    if (queued > 0) {
      SettingsStore settings;
      settings.loadFromText(text);
      MessageStores stores(settings, dataFolder(), 0);
      if (!stores.open()) std::exit(1);
      for (int i = 0; i < queued; ++i) {
        SMSMessage message(u"", u"+4917012345", u"bench message");
        stores.outbox().put(
            outgoingRecord(message, StoreKind::Outbox, stores.outbox().newIdText()));
      }
      stores.saveAll();
    }
    run_.launch(PARLANE_EXECUTABLE);
  }

  std::string dataFolder() const { return root_ + "/config/Quortane SMS"; }
  bool waitForLog(const std::string& text, std::chrono::seconds limit) const {
    const auto end = SteadyClock::now() + limit;
    while (SteadyClock::now() < end) {
      if (readFile(root_ + "/gateway.log").find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(50ms);
    }
    return false;
  }
  // Lines of the folder's file: a record removed since the last rewrite is still among them
  // (its removal is in the journal), so this counts what was added, not what is left.
  std::size_t folderCount(const char* name) const {
    return recordCount(dataFolder() + "/" + name + ".txt");
  }

  // CPU ticks (user + system) of the whole process.
  long cpuTicks() const {
    std::istringstream in(readFile(process() + "/stat"));
    std::string field;
    std::vector<std::string> fields;
    // The command name may hold blanks: skip to the closing parenthesis.
    std::string all = in.str();
    const auto close = all.rfind(')');
    std::istringstream rest(all.substr(close + 2));
    while (rest >> field) fields.push_back(field);
    // After the name: state is field 3, utime 14, stime 15.
    return std::stol(fields.at(11)) + std::stol(fields.at(12));
  }
  // Voluntary context switches summed over every thread.
  long wakeUps() const { return bench::wakeUps(process()); }
  int threads() const {
    int count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator(process() + "/task")) {
      ++count;
    }
    return count;
  }

 private:
  std::string process() const { return "/proc/" + std::to_string(run_.pid()); }

  bench::ProgramRun run_;
  const std::string root_;
};

int idleSeconds() { return bench::countFromEnvironment("PARLANE_BENCH_IDLE_SECONDS", 30, 1); }

void idle() {
  bench::CountingModem modem(0ms);
  Gateway gateway(modem.path(), {}, 0);
  if (!gateway.waitForLog("Title: Parlane (connected to", 60s)) {
    std::printf("idle: the gateway did not connect\n");
    return;
  }
  std::this_thread::sleep_for(2s);  // let the connection's last steps settle
  const int span = idleSeconds();
  const long ticks0 = gateway.cpuTicks();
  const long wakes0 = gateway.wakeUps();
  const auto t0 = SteadyClock::now();
  std::this_thread::sleep_for(std::chrono::seconds(span));
  const double elapsed = seconds(SteadyClock::now() - t0);
  const double cpu = static_cast<double>(gateway.cpuTicks() - ticks0) /
                     static_cast<double>(::sysconf(_SC_CLK_TCK));
  const double wakes = static_cast<double>(gateway.wakeUps() - wakes0);
  std::printf(
      "idle, connected and silent for %.0f s (%d threads): CPU %.3f%% of one core, "
      "%.1f wake-ups/s (targets: < 1%%, < 20/s)\n",
      elapsed, gateway.threads(), 100.0 * cpu / elapsed, wakes / elapsed);
}

void throughput() {
  constexpr int kMessages = 2000;
  bench::CountingModem modem(0ms);
  Gateway gateway(modem.path(), {{"sender.delay", "0"}}, kMessages);
  const auto limit = SteadyClock::now() + 300s;
  while (modem.accepted() < kMessages && SteadyClock::now() < limit) {
    std::this_thread::sleep_for(20ms);
  }
  const auto [first, last] = modem.span();
  const int accepted = modem.accepted();
  // The last result is filed just after the modem accepted it.
  const auto filed = SteadyClock::now() + 30s;
  while (gateway.folderCount("sent") < static_cast<std::size_t>(accepted) &&
         SteadyClock::now() < filed) {
    std::this_thread::sleep_for(20ms);
  }
  std::printf(
      "throughput, outbox -> sent, sender.delay 0, instant modem: %d messages in %.2f s = "
      "%.1f messages/s (target: >= 100/s); sent %zu\n",
      accepted, seconds(last - first), accepted / seconds(last - first),
      gateway.folderCount("sent"));
}

void slowModem() {
  constexpr int kMessages = 12;
  constexpr double kPause = 2.5;
  bench::CountingModem modem(std::chrono::milliseconds(2500));
  Gateway gateway(modem.path(), {{"sender.delay", "0"}}, kMessages);
  const auto limit = SteadyClock::now() + 120s;
  while (modem.accepted() < kMessages && SteadyClock::now() < limit) {
    std::this_thread::sleep_for(20ms);
  }
  const auto [first, last] = modem.span();
  const int accepted = modem.accepted();
  const double perMinute = 60.0 * accepted / seconds(last - first);
  const double own = 60.0 / kPause;
  std::printf(
      "modem taking %.1f s per message: %d messages in %.1f s = %.2f messages/min, "
      "%.1f%% of the modem's own %.1f/min (target: >= 97%%)\n",
      kPause, accepted, seconds(last - first), perMinute, 100.0 * perMinute / own, own);
}

}  // namespace
}  // namespace parlane

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  parlane::idle();
  parlane::throughput();
  parlane::slowModem();
  return 0;
}
