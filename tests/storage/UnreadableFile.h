#pragma once

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace parlane::test {

// Runs `attempt` where `file` exists but can't be read while its folder stays writable, so that
// a careless rewrite would replace the file. Plain users get the file's read permission taken
// away; root (which reads everything) runs the attempt in a child that became "nobody".
// Returns what `attempt` returned, or 100 + n when the set-up failed.
inline int runUnableToRead(const std::string& file, const std::string& folder,
                           const std::function<int()>& attempt) {
  if (::chmod(folder.c_str(), 0777) != 0) return 101;
  if (::geteuid() != 0) {
    if (::chmod(file.c_str(), 0200) != 0) return 102;
    const int result = attempt();
    ::chmod(file.c_str(), 0600);
    ::chmod(folder.c_str(), 0700);
    return result;
  }
  if (::chmod(file.c_str(), 0600) != 0) return 103;
  const pid_t child = ::fork();
  if (child < 0) return 104;
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(105);
    ::_exit(attempt());
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ::chmod(folder.c_str(), 0700);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 106;
}

}  // namespace parlane::test
