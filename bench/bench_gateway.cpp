// The whole gateway (the real program, headless) against a modem at the far end of a
// pseudo-terminal:
//   1. idle: connected and silent for 30 s: CPU time and thread wake-ups (voluntary context
//      switches of all its threads) per second;
//   2. throughput from the outbox to "sent" with "sender.delay" 0 on a modem that answers at once;
//   3. the rate on a modem that takes 2.5 s to accept each message, against its own rate.
// Prints figures; asserts nothing.

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/settings/SettingsStore.h"
#include "message/SMSMessage.h"
#include "storage/MessageRecords.h"
#include "storage/MessageStores.h"

namespace parlane {
namespace {

using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double seconds(SteadyClock::duration d) { return std::chrono::duration<double>(d).count(); }

// A modem on a pseudo-terminal that echoes, answers the connection probes, and accepts each
// message body `acceptPause` after it arrived.
class PtyModem {
 public:
  explicit PtyModem(std::chrono::milliseconds acceptPause) : acceptPause_(acceptPause) {
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
      std::perror("openpty");
      std::exit(1);
    }
    termios raw{};
    ::tcgetattr(slave_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave_, TCSANOW, &raw);
    path_ = ::ptsname(master_);
    if (::pipe(wake_) != 0) std::exit(1);
    thread_ = std::thread([this] { run(); });
  }
  ~PtyModem() {
    [[maybe_unused]] const ssize_t n = ::write(wake_[1], "x", 1);
    thread_.join();
    for (int fd : {master_, slave_, wake_[0], wake_[1]}) ::close(fd);
  }

  const std::string& path() const { return path_; }
  int accepted() const { return accepted_.load(); }
  // Times of the first "AT+CMGS=" and of the latest accepted body.
  std::pair<SteadyClock::time_point, SteadyClock::time_point> span() {
    std::lock_guard guard(mutex_);
    return {firstSubmit_, lastAccepted_};
  }

 private:
  void run() {
    const std::map<std::string, std::string> replies = {
        {"AT+CSMS=?", "\r\n+CSMS: (0,1,128)\r\n\r\nOK\r\n"},
        {"AT+CMGF=?", "\r\n+CMGF: (0-1)\r\n\r\nOK\r\n"},
        {"AT+CNMI=?", "\r\n+CNMI: (0-3),(0-3),(0,2,3),(0-1),(0)\r\n\r\nOK\r\n"},
        {"AT+CMEE=?", "\r\n+CMEE: (0-2)\r\n\r\nOK\r\n"},
        {"AT+CMGD=?", "\r\n+CMGD: (1-20),(0-4)\r\n\r\nOK\r\n"},
        {"AT+CPMS?", "\r\n+CPMS: \"SM\",0,20,\"SM\",0,20,\"SM\",0,20\r\n\r\nOK\r\n"},
        {"AT+CUSD=?", "\r\n+CUSD: (0,1)\r\n\r\nOK\r\n"},
        {"AT+CGMM", "\r\nBenchModem\r\n\r\nOK\r\n"},
        {"AT+CSQ", "\r\n+CSQ: 31,99\r\n\r\nOK\r\n"},
    };
    char data[8192];
    std::string pending;
    int reference = 0;
    for (;;) {
      pollfd fds[2] = {{wake_[0], POLLIN, 0}, {master_, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) continue;
      if (fds[0].revents != 0) return;
      const ssize_t n = ::read(master_, data, sizeof data);
      if (n <= 0) {
        // The gateway closed the port: wait for it to come back.
        std::this_thread::sleep_for(10ms);
        continue;
      }
      pending.append(data, static_cast<std::size_t>(n));
      for (;;) {
        while (!pending.empty() && pending.front() == '\n') pending.erase(0, 1);
        const std::size_t end = pending.find_first_of("\r\x1a");
        if (end == std::string::npos) break;
        const std::string command = pending.substr(0, end);
        pending.erase(0, end + 1);
        std::string reply = command + "\r";  // echo
        if (command.rfind("AT+CMGS=", 0) == 0) {
          reply += "\r\n> ";
          std::lock_guard guard(mutex_);
          if (firstSubmit_ == SteadyClock::time_point{}) firstSubmit_ = SteadyClock::now();
        } else if (!command.empty() && command.rfind("AT", 0) != 0) {
          if (acceptPause_.count() > 0) std::this_thread::sleep_for(acceptPause_);
          reply += "\r\n+CMGS: " + std::to_string(++reference % 256) + "\r\n\r\nOK\r\n";
          std::lock_guard guard(mutex_);
          lastAccepted_ = SteadyClock::now();
          accepted_.fetch_add(1);
        } else if (const auto found = replies.find(command); found != replies.end()) {
          reply += found->second;
        } else {
          reply += "\r\nOK\r\n";
        }
        [[maybe_unused]] const ssize_t written = ::write(master_, reply.data(), reply.size());
      }
    }
  }

  const std::chrono::milliseconds acceptPause_;
  int master_ = -1;
  int slave_ = -1;
  int wake_[2] = {-1, -1};
  std::string path_;
  std::thread thread_;
  std::mutex mutex_;
  SteadyClock::time_point firstSubmit_{};
  SteadyClock::time_point lastAccepted_{};
  std::atomic<int> accepted_{0};
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
  Gateway(const std::string& port, const std::map<std::string, std::string>& changes, int queued) {
    char folder[] = "/tmp/parlane-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr) std::exit(1);
    root_ = folder;
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
        stores.outbox().Put(
            OutgoingRecord(message, StoreKind::Outbox, stores.outbox().NewIdText()));
      }
      stores.saveAll();
    }

    pid_ = ::fork();
    if (pid_ == 0) {
      if (::chdir((root_ + "/work").c_str()) != 0) ::_exit(127);
      ::unsetenv("DISPLAY");
      ::unsetenv("WAYLAND_DISPLAY");
      ::unsetenv("APPDATA");
      ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
      ::setenv("HOME", root_.c_str(), 1);
      ::setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
      ::setenv("XDG_RUNTIME_DIR", root_.c_str(), 1);
      const int devnull = ::open("/dev/null", O_WRONLY);
      ::dup2(devnull, 1);
      ::dup2(devnull, 2);
      char* argv[] = {const_cast<char*>(PARLANE_EXECUTABLE), nullptr};
      ::execv(PARLANE_EXECUTABLE, argv);
      ::_exit(127);
    }
  }
  ~Gateway() {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
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
  std::size_t folderCount(const char* name) const {
    return recordCount(dataFolder() + "/" + name + ".txt");
  }

  // CPU ticks (user + system) of the whole process.
  long cpuTicks() const {
    std::istringstream in(readFile("/proc/" + std::to_string(pid_) + "/stat"));
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
    const std::string tasks = "/proc/" + std::to_string(pid_) + "/task";
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
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid_) + "/task")) {
      ++count;
    }
    return count;
  }

 private:
  std::string root_;
  pid_t pid_ = -1;
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
