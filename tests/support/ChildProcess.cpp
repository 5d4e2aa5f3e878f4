#include "support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <thread>

namespace parlane::test {

namespace {

// The program's arguments, made before the fork.
struct Arguments {
  std::vector<std::string> text;
  std::vector<char*> argv;
};

Arguments makeArguments(const ProcessLaunch& launch) {
  Arguments arguments;
  arguments.text.push_back(launch.program);
  arguments.text.insert(arguments.text.end(), launch.arguments.begin(), launch.arguments.end());
  for (std::string& argument : arguments.text) arguments.argv.push_back(argument.data());
  arguments.argv.push_back(nullptr);
  return arguments;
}

// In the child after the fork: never returns. Exit code 127 when the program can't start. The
// environment is changed here, before `prepare`, which may change it further.
[[noreturn]] void execInChild(const ProcessLaunch& launch, Arguments& arguments, int in, int out,
                              int err) {
  if (::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(127);
  if (!launch.directory.empty() && ::chdir(launch.directory.c_str()) != 0) ::_exit(127);
  for (const std::string& name : launch.unsetEnvironment) ::unsetenv(name.c_str());
  for (const auto& [name, value] : launch.environment) ::setenv(name.c_str(), value.c_str(), 1);
  if (launch.prepare) launch.prepare();
  ::execv(arguments.argv[0], arguments.argv.data());
  ::_exit(127);
}

int exitCodeOf(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Writing to a child that has closed its input must not end the parent with SIGPIPE: the signal
// is blocked for this thread while the guard lives, and one that came is taken away unhandled.
class SigpipeGuard {
 public:
  SigpipeGuard() {
    sigemptyset(&pipeOnly_);
    sigaddset(&pipeOnly_, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipeOnly_, &previous_);
  }
  ~SigpipeGuard() {
    const timespec now{0, 0};
    while (::sigtimedwait(&pipeOnly_, nullptr, &now) == SIGPIPE) {
    }
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  SigpipeGuard(const SigpipeGuard&) = delete;
  SigpipeGuard& operator=(const SigpipeGuard&) = delete;

 private:
  sigset_t pipeOnly_{};
  sigset_t previous_{};
};

}  // namespace

ChildProcess::ChildProcess(const ProcessLaunch& launch) {
  Arguments arguments = makeArguments(launch);
  const int devnull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  const int err =
      launch.errorFile.empty()
          ? devnull
          : ::open(launch.errorFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  pid_ = ::fork();
  if (pid_ == 0) execInChild(launch, arguments, devnull, devnull, err < 0 ? devnull : err);
  if (pid_ < 0) code_ = -1;
  if (err >= 0 && err != devnull) ::close(err);
  ::close(devnull);
}

ChildProcess::~ChildProcess() {
  if (code_) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

std::optional<int> ChildProcess::waitExit(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!code_) {
    int status = 0;
    const pid_t ended = ::waitpid(pid_, &status, WNOHANG);
    if (ended == pid_) {
      code_ = exitCodeOf(status);
    } else if (ended < 0 && errno != EINTR) {
      code_ = -1;
    } else if (std::chrono::steady_clock::now() >= deadline) {
      return std::nullopt;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  return code_;
}

std::optional<int> ChildProcess::stop(int signal, std::chrono::milliseconds limit) {
  if (!code_) ::kill(pid_, signal);
  return waitExit(limit);
}

ProcessResult runProcess(const ProcessLaunch& launch, const std::string& input) {
  Arguments arguments = makeArguments(launch);
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) != 0) return {};
  if (::pipe2(out, O_CLOEXEC) != 0) {
    for (int fd : in) ::close(fd);
    return {};
  }
  if (::pipe2(err, O_CLOEXEC) != 0) {
    for (int fd : {in[0], in[1], out[0], out[1]}) ::close(fd);
    return {};
  }
  const pid_t pid = ::fork();
  if (pid == 0) execInChild(launch, arguments, in[0], out[1], err[1]);
  for (int fd : {in[0], out[1], err[1]}) ::close(fd);
  ProcessResult result;
  if (pid < 0) {
    for (int fd : {in[1], out[0], err[0]}) ::close(fd);
    return result;
  }

  // Input and both outputs at once, so that a child that writes much before it reads never
  // waits for the parent while the parent waits for it.
  SigpipeGuard guard;
  int inFd = in[1];
  ::fcntl(inFd, F_SETFL, ::fcntl(inFd, F_GETFL) | O_NONBLOCK);
  std::size_t written = 0;
  if (input.empty()) {
    ::close(inFd);
    inFd = -1;
  }
  int outFd = out[0];
  int errFd = err[0];
  while (inFd >= 0 || outFd >= 0 || errFd >= 0) {
    pollfd fds[3] = {{inFd, POLLOUT, 0}, {outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    if (::poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (inFd >= 0 && fds[0].revents != 0) {
      const ssize_t n = ::write(inFd, input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<std::size_t>(n);
      if ((n < 0 && errno != EAGAIN && errno != EINTR) || written == input.size()) {
        ::close(inFd);
        inFd = -1;
      }
    }
    for (int i : {1, 2}) {
      int& fd = i == 1 ? outFd : errFd;
      if (fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n > 0) {
        (i == 1 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(fd);
        fd = -1;
      }
    }
  }
  for (int fd : {inFd, outFd, errFd}) {
    if (fd >= 0) ::close(fd);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.code = exitCodeOf(status);
  return result;
}

}  // namespace parlane::test
