// A pool of modems: the real program (headless) as one instance on one modem, then as two
// instances on two modems sharing the pool folder, each modem at the far end of a
// pseudo-terminal and answering at once. The same messages wait in the pool each time; the rate
// is counted from the first "AT+CMGS=" to the last body accepted, over both modems.
// Prints figures; asserts nothing.

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/ProgramRun.h"
#include "support/TempDir.h"

namespace parlane {
namespace {

using bench::seconds;
using bench::SteadyClock;
using namespace std::chrono_literals;

// One instance in a throwaway profile of its own, taking from `pool`.
std::unique_ptr<bench::ProgramRun> startInstance(int number, const std::string& port,
                                                 const std::string& pool) {
  auto run = std::make_unique<bench::ProgramRun>(std::chrono::minutes(5));
  const std::string& root = run->root();
  run->writeConfiguration({
      {"modem.port", port},
      {"logger.common", root + "/gateway.log"},
      {"logger.level", "2"},
      {"status.file", ""},
      {"start.bubble", "0"},
      {"start.welcome", "0"},
      {"start.connect", "1"},
      {"sender.delay", "0"},
      {"spool.pool", pool},
  });
  run->launch(PARLANE_EXECUTABLE, {"-inst", std::to_string(number)});
  return run;
}

int runCount() { return bench::countFromEnvironment("PARLANE_BENCH_POOL_RUNS", 3, 1); }

int messageCount() { return bench::countFromEnvironment("PARLANE_BENCH_POOL_MESSAGES", 1000, 10); }

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
  std::vector<std::unique_ptr<bench::CountingModem>> lines;
  std::vector<std::unique_ptr<bench::ProgramRun>> instances;
  for (int k = 0; k < modems; ++k) {
    lines.push_back(std::make_unique<bench::CountingModem>(acceptPause));
  }
  for (int k = 0; k < modems; ++k)
    instances.push_back(startInstance(k + 1, lines[k]->path(), pool));
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
    const auto [lineFirst, lineLast] = line->span();
    first = std::min(first, lineFirst);
    last = std::max(last, lineLast);
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
