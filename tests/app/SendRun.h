#pragma once

// parlane-send run as a separate process in the profile of a GatewayRun: the same working
// folder and environment, so that it finds the same data folder.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "GatewayRun.h"

namespace parlane::test {

struct SendResult {
  int code = -1;
  std::string out;
  std::string err;
};

inline std::string readAll(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, got);
  return text;
}

inline SendResult runSend(const GatewayRun& run, const std::vector<std::string>& arguments,
                          const std::string& input = "") {
  int in[2], out[2], err[2];
  if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) ::close(fd);
    if (::chdir(run.profile.file("work").c_str()) != 0) ::_exit(127);
    ::unsetenv("APPDATA");
    ::setenv("HOME", run.profile.path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", run.profile.file("config").c_str(), 1);
    std::vector<std::string> all{PARLANE_SEND_EXECUTABLE};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(PARLANE_SEND_EXECUTABLE, argv.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  [[maybe_unused]] const ssize_t written = ::write(in[1], input.data(), input.size());
  ::close(in[1]);
  SendResult result;
  result.out = readAll(out[0]);
  result.err = readAll(err[0]);
  ::close(out[0]);
  ::close(err[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

}  // namespace parlane::test
