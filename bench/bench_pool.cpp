// A pool of modems: the real program (headless) as one instance on one modem, then as two
// instances on two modems sharing the pool folder, each modem at the far end of a
// pseudo-terminal and answering at once. The same messages wait in the pool each time; the rate
// is counted from the first "AT+CMGS=" to the last body accepted, over both modems.
// Prints figures; asserts nothing.

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/ChildProcess.h"
#include "support/InitializationReplies.h"
#include "support/ScriptedModem.h"
#include "support/TempDir.h"

namespace parlane {
namespace {

using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double seconds(SteadyClock::duration d) { return std::chrono::duration<double>(d).count(); }

// Echoes, answers the connection probes and accepts each body after `acceptPause` (none: at
// once).
class InstantModem {
 public:
  explicit InstantModem(std::chrono::milliseconds acceptPause) {
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
  SteadyClock::time_point firstSubmit() {
    std::lock_guard guard(mutex_);
    return firstSubmit_;
  }
  SteadyClock::time_point lastAccepted() {
    std::lock_guard guard(mutex_);
    return lastAccepted_;
  }

 private:
  int reference_ = 0;
  std::mutex mutex_;
  SteadyClock::time_point firstSubmit_{};
  SteadyClock::time_point lastAccepted_{};
  std::atomic<int> accepted_{0};
  test::ScriptedModem modem_;
};

// One instance in a throwaway profile of its own, taking from `pool`.
class Instance {
 public:
  Instance(int number, const std::string& port, const std::string& pool) : root_(folder_.path()) {
    std::filesystem::create_directories(root_ + "/work");
    const std::map<std::string, std::string> values = {
        {"modem.port", port},   {"logger.common", root_ + "/gateway.log"},
        {"logger.level", "2"},  {"status.file", ""},
        {"start.bubble", "0"},  {"start.welcome", "0"},
        {"start.connect", "1"}, {"sender.delay", "0"},
        {"spool.pool", pool},
    };
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
    test::ProcessLaunch launch;
    launch.program = PARLANE_EXECUTABLE;
    launch.arguments = {"-inst", std::to_string(number)};
    launch.directory = root_ + "/work";
    launch.environment = {
        {"HOME", root_}, {"XDG_CONFIG_HOME", root_ + "/config"}, {"XDG_RUNTIME_DIR", root_}};
    launch.unsetEnvironment = {"DISPLAY", "WAYLAND_DISPLAY", "APPDATA", "DBUS_SESSION_BUS_ADDRESS"};
    process_ = std::make_unique<test::ChildProcess>(launch);
  }
  ~Instance() { process_->stop(SIGTERM, std::chrono::minutes(5)); }

 private:
  test::TempDir folder_;
  const std::string root_;
  std::unique_ptr<test::ChildProcess> process_;
};

int runCount() {
  const char* value = std::getenv("PARLANE_BENCH_POOL_RUNS");
  return value != nullptr ? std::max(1, std::atoi(value)) : 3;
}

int messageCount() {
  const char* value = std::getenv("PARLANE_BENCH_POOL_MESSAGES");
  return value != nullptr ? std::max(10, std::atoi(value)) : 1000;
}

// Messages per second with `modems` instances, each on its own modem.
double poolRate(int modems, int messages, std::chrono::milliseconds acceptPause) {
  test::TempDir shared;
  const std::string pool = shared.file("pool");
  ::mkdir(pool.c_str(), 0700);
  for (int i = 0; i < messages; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "m%06d.sms", i);
    const std::string path = pool + "/" + name;
    std::ofstream(path + ".tmp") << "To: +4917012345\n\nbench message " << i << "\n";
    std::filesystem::rename(path + ".tmp", path);
  }
  std::vector<std::unique_ptr<InstantModem>> lines;
  std::vector<std::unique_ptr<Instance>> instances;
  for (int k = 0; k < modems; ++k) lines.push_back(std::make_unique<InstantModem>(acceptPause));
  for (int k = 0; k < modems; ++k) {
    instances.push_back(std::make_unique<Instance>(k + 1, lines[k]->path(), pool));
  }
  const auto total = [&] {
    int sum = 0;
    for (const auto& line : lines) sum += line->accepted();
    return sum;
  };
  const auto limit = SteadyClock::now() + 600s;
  while (total() < messages && SteadyClock::now() < limit) std::this_thread::sleep_for(10ms);
  SteadyClock::time_point first = SteadyClock::time_point::max();
  SteadyClock::time_point last{};
  std::printf("  %d modem(s):", modems);
  for (const auto& line : lines) {
    first = std::min(first, line->firstSubmit());
    last = std::max(last, line->lastAccepted());
    std::printf(" %d", line->accepted());
  }
  const double rate = total() / seconds(last - first);
  std::printf(" sent, %d in %.2f s = %.1f messages/s\n", total(), seconds(last - first), rate);
  instances.clear();
  return rate;
}

}  // namespace
}  // namespace parlane

int main() {
  using namespace std::chrono_literals;
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  const int messages = parlane::messageCount();
  // Instant modems leave only the gateways' own work, which shares the machine's cores; modems
  // that take 20 ms per message, as fast ones on a good network do, leave the modems' time.
  for (const auto pause : {0ms, 20ms}) {
    std::printf("pool of %d messages, modems on pseudo-terminals taking %lld ms per message:\n",
                messages, static_cast<long long>(pause.count()));
    // The runs take turns, so that a busy moment of the machine falls on both; medians count.
    std::vector<double> ones;
    std::vector<double> twos;
    for (int run = 0; run < parlane::runCount(); ++run) {
      ones.push_back(parlane::poolRate(1, messages, pause));
      twos.push_back(parlane::poolRate(2, messages, pause));
    }
    const auto median = [](std::vector<double> values) {
      std::sort(values.begin(), values.end());
      return values[values.size() / 2];
    };
    const double one = median(ones);
    const double two = median(twos);
    std::printf(
        "pool, %lld ms per message, median of %zu runs: one modem %.1f messages/s, two "
        "modems %.1f messages/s: %.2f times (target: >= 1.8)\n",
        static_cast<long long>(pause.count()), ones.size(), one, two, two / one);
  }
  return 0;
}
