#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace parlane::test {

// How to start a program as a separate process.
struct ProcessLaunch {
  std::string program;
  std::vector<std::string> arguments;
  // Empty: the parent's.
  std::string directory;
  // Set in the environment the child inherits, once the names of unsetEnvironment are gone.
  std::map<std::string, std::string> environment;
  std::vector<std::string> unsetEnvironment;
  // Standard error is appended to this file; empty: it is thrown away like standard output.
  std::string errorFile;
  // Runs in the child just before the program starts, to change its world.
  std::function<void()> prepare;
};

// A program running as a child process; killed and reaped with this object unless it has ended.
class ChildProcess {
 public:
  // Starts the program, its standard input and output on /dev/null.
  explicit ChildProcess(const ProcessLaunch& launch);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  // The exit code (128 + the signal when a signal ended it), or nothing when the process still
  // runs after `limit`.
  std::optional<int> waitExit(std::chrono::milliseconds limit);
  bool running() { return !waitExit(std::chrono::milliseconds(0)).has_value(); }
  // Sends `signal` and waits at most `limit` for the end.
  std::optional<int> stop(int signal, std::chrono::milliseconds limit);

 private:
  pid_t pid_ = -1;
  std::optional<int> code_;
};

// What a program that ran to its end wrote, and its exit code (-1 when it could not start).
struct ProcessResult {
  int code = -1;
  std::string out;
  std::string err;
};

// Runs the program to its end with `input` on its standard input, taking what it writes to
// standard output and standard error (launch.errorFile is not used).
ProcessResult runProcess(const ProcessLaunch& launch, const std::string& input = "");

}  // namespace parlane::test
