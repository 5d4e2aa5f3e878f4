#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "support/ChildProcess.h"
#include "support/ScriptedModem.h"
#include "support/TempDir.h"

namespace parlane::bench {

using SteadyClock = std::chrono::steady_clock;

inline double seconds(SteadyClock::duration d) { return std::chrono::duration<double>(d).count(); }

// The whole number in the environment variable `name`, at least `least`; `fallback` when unset.
int countFromEnvironment(const char* name, int fallback, int least);

// A modem on a pseudo-terminal that echoes, answers the connection probes and accepts each
// message body `acceptPause` after it arrived (none: at once), counting what it accepted.
class CountingModem {
 public:
  explicit CountingModem(std::chrono::milliseconds acceptPause);

  const std::string& path() const { return modem_.portPath(); }
  int accepted() const { return accepted_.load(); }
  // Times of the first "AT+CMGS=" and of the latest accepted body.
  std::pair<SteadyClock::time_point, SteadyClock::time_point> span();

 private:
  int reference_ = 0;  // the modem's thread only
  std::mutex mutex_;
  SteadyClock::time_point firstSubmit_{};
  SteadyClock::time_point lastAccepted_{};
  std::atomic<int> accepted_{0};
  // Last, so that its thread, which runs the rules above, ends first.
  test::ScriptedModem modem_;
};

// The real program, headless, in a throwaway profile: its home, configuration and runtime folders
// lie in a temporary folder and no display is set. Stopped with SIGTERM at the end, waiting at
// most `stopLimit` for it.
class ProgramRun {
 public:
  explicit ProgramRun(std::chrono::milliseconds stopLimit);
  ~ProgramRun();
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;

  const std::string& root() const { return root_; }
  // Writes the default configuration, with `values` in place of its own, into the program's
  // working folder; returns the text written.
  std::string writeConfiguration(const std::map<std::string, std::string>& values) const;
  void launch(const std::string& program, const std::vector<std::string>& arguments = {});
  pid_t pid() const { return process_->pid(); }

 private:
  test::TempDir folder_;
  const std::string root_;
  const std::chrono::milliseconds stopLimit_;
  std::unique_ptr<test::ChildProcess> process_;
};

}  // namespace parlane::bench
