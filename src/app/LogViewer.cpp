#include "app/LogViewer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"

namespace parlane {

namespace {

// Starts `program` with `argument` in its own session, detached: the intermediate child exits at
// once and is reaped here, so the program is adopted by init and never becomes our zombie.
void startDetached(const std::string& program, const std::string& argument) {
  // Everything the children need is prepared before fork: after it only async-signal-safe calls.
  char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(argument.c_str()), nullptr};
  const pid_t child = ::fork();
  if (child < 0) return;
  if (child == 0) {
    ::setsid();
    if (::fork() == 0) {
      // Don't hand our blocked or ignored signals (the shut-down handling) to the viewer.
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      struct sigaction defaults {};
      defaults.sa_handler = SIG_DFL;
      for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &defaults, nullptr);
      const int devNull = ::open("/dev/null", O_RDONLY);
      if (devNull >= 0) ::dup2(devNull, STDIN_FILENO);
      ::execvp(argv[0], argv);
      ::_exit(127);
    }
    ::_exit(0);
  }
  while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

void openLogViewer(const SettingsStore& settings, const std::string& logPath) {
  const std::string viewer = toUtf8(settings.getString("logger.viewer"));
  startDetached(viewer.empty() ? std::string("xdg-open") : viewer, logPath);
}

}  // namespace parlane
