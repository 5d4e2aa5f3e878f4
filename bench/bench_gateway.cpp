// The whole gateway (the real program, headless) against a modem at the far end of a
// pseudo-terminal:
//   1. idle: connected and silent for 30 s: CPU time and thread wake-ups (voluntary context
//      switches of all its threads) per second;
//   2. throughput from the outbox to "sent" with "sender.delay" 0 on a modem that answers at once;
//   3. the rate on a modem that takes 2.5 s to accept each message, against its own rate.
// Prints figures; asserts nothing.

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/settings/SettingsStore.h"
#include "message/SMSMessage.h"
#include "storage/MessageRecords.h"
#include "storage/MessageStores.h"
#include "support/ChildProcess.h"
#include "support/InitializationReplies.h"
#include "support/ScriptedModem.h"
#include "support/TempDir.h"

namespace parlane {
namespace {

using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double seconds(SteadyClock::duration d) { return std::chrono::duration<double>(d).count(); }

// A modem on a pseudo-terminal that echoes, answers the connection probes, and accepts each
// message body `acceptPause` after it arrived.
class PtyModem {
 public:
  explicit PtyModem(std::chrono::milliseconds acceptPause) {
    modem_.setEcho(true);
    modem_.onCommand([this, acceptPause](const std::string& command, std::string& reply) {
      if (command.rfind("AT+CMGS=", 0) == 0) {
        reply = "\r\n> ";
        std::lock_guard guard(mutex_);
        if (firstSubmit_ == SteadyClock::time_point{}) firstSubmit_ = SteadyClock::now();
        return true;
      }
      if (command.empty() || command.rfind("AT", 0) == 0) return false;
      if (acceptPause.count() > 0) std::this_thread::sleep_for(acceptPause);
      reply = "\r\n+CMGS: " + std::to_string(++reference_ % 256) + "\r\n\r\nOK\r\n";
      std::lock_guard guard(mutex_);
      lastAccepted_ = SteadyClock::now();
      accepted_.fetch_add(1);
      return true;
    });
    test::answerInitialization(modem_);
    modem_.onPrefix("", "\r\nOK\r\n");
  }

  const std::string& path() const { return modem_.portPath(); }
  int accepted() const { return accepted_.load(); }
  // Times of the first "AT+CMGS=" and of the latest accepted body.
  std::pair<SteadyClock::time_point, SteadyClock::time_point> span() {
    std::lock_guard guard(mutex_);
    return {firstSubmit_, lastAccepted_};
  }

 private:
  int reference_ = 0;  // the modem's thread only
  std::mutex mutex_;
  SteadyClock::time_point firstSubmit_{};
  SteadyClock::time_point lastAccepted_{};
  std::atomic<int> accepted_{0};
  // Last, so that its thread, which runs the rules above, ends first.
  test::ScriptedModem modem_;
};

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
      : root_(folder_.path()) {
    std::filesystem::create_directories(root_ + "/work");
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
    std::ifstream in(std::string(PARLANE_SOURCE_DIR) + "/data/valtorin.cfg");
    std::string text;
    for (std::string line; std::getline(in, line);) {
      const auto equals = line.find('=');
      if (!line.empty() && line[0] != '#' && equals != std::string::npos) {
        const auto found = values.find(line.substr(0, equals));
        if (found != values.end()) line = found->first + "=" + found->second;
      }
      text += line + "\n";
    }
    std::ofstream(root_ + "/work/valtorin.cfg") << text;

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

    test::ProcessLaunch launch;
    launch.program = PARLANE_EXECUTABLE;
    launch.directory = root_ + "/work";
    launch.environment = {
        {"HOME", root_}, {"XDG_CONFIG_HOME", root_ + "/config"}, {"XDG_RUNTIME_DIR", root_}};
    launch.unsetEnvironment = {"DISPLAY", "WAYLAND_DISPLAY", "APPDATA", "DBUS_SESSION_BUS_ADDRESS"};
    process_ = std::make_unique<test::ChildProcess>(launch);
  }
  ~Gateway() { process_->stop(SIGTERM, std::chrono::hours(1)); }

  std::string dataFolder() const { return root_ + "/config/Quortane SMS"; }
  bool waitForLog(const std::string& text, std::chrono::seconds limit) const {
    const auto end = SteadyClock::now() + limit;
    while (SteadyClock::now() < end) {
      if (readFile(root_ + "/gateway.log").find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(50ms);
    }
    return false;
  }
  std::size_t folderCount(const char* name) const {
    return recordCount(dataFolder() + "/" + name + ".txt");
  }

  // CPU ticks (user + system) of the whole process.
  long cpuTicks() const {
    std::istringstream in(readFile("/proc/" + std::to_string(pid()) + "/stat"));
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
  long wakeUps() const {
    long total = 0;
    const std::string tasks = "/proc/" + std::to_string(pid()) + "/task";
    for (const auto& entry : std::filesystem::directory_iterator(tasks)) {
      std::istringstream in(readFile(entry.path().string() + "/status"));
      for (std::string line; std::getline(in, line);) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0) total += std::stol(line.substr(24));
      }
    }
    return total;
  }
  int threads() const {
    int count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid()) + "/task")) {
      ++count;
    }
    return count;
  }

 private:
  pid_t pid() const { return process_->pid(); }

  test::TempDir folder_;
  const std::string root_;
  std::unique_ptr<test::ChildProcess> process_;
};

int idleSeconds() {
  const char* value = std::getenv("PARLANE_BENCH_IDLE_SECONDS");
  return value != nullptr ? std::max(1, std::atoi(value)) : 30;
}

void idle() {
  PtyModem modem(0ms);
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
  PtyModem modem(0ms);
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
      "%.1f messages/s (target: >= 100/s); sent %zu, outbox %zu\n",
      accepted, seconds(last - first), accepted / seconds(last - first),
      gateway.folderCount("sent"), gateway.folderCount("outbox"));
}

void slowModem() {
  constexpr int kMessages = 12;
  constexpr double kPause = 2.5;
  PtyModem modem(std::chrono::milliseconds(2500));
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
