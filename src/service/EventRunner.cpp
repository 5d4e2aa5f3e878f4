#include "service/EventRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/Environment.h"
#include "core/util/ErrorText.h"
#include "core/util/FileIo.h"
#include "core/util/ThreadName.h"
#include "core/util/Utf.h"
#include "service/EventQueueFile.h"

extern char** environ;

namespace parlane {

namespace {

// Error output kept per program; the rest is read and dropped.
constexpr std::size_t kErrorBytes = 4096;
// Without pidfd (old kernels) the thread looks for ended programs this often.
constexpr int kReapPollMs = 50;

std::string systemError(int errnum) { return toUtf8(errorText(errnum)); }

int openPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  errno = ENOSYS;
  return -1;
#endif
}

// The gateway's environment without any PARLANE_* of its own, then the event's.
std::vector<std::string> childEnvironment(const MessageEvent& event, int instance) {
  std::vector<std::string> out;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    if (std::strncmp(*entry, "PARLANE_", 8) != 0) out.emplace_back(*entry);
  }
  for (std::string& value : event.environment(instance)) out.push_back(std::move(value));
  return out;
}

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

EventRunner::EventRunner(const SettingsStore& settings, int instance, const Clock& clock)
    : settings_(settings), instance_(instance), clock_(clock) {
  wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

EventRunner::~EventRunner() {
  stop();
  join();
  endAll();
  closeFd(wakeFd_);
}

void EventRunner::setQueueFile(std::string path) { queueFile_ = std::move(path); }

void EventRunner::loadQueue() {
  if (queueFile_.empty()) return;
  const std::optional<std::string> text = readWholeFile(queueFile_);
  if (!text) return;
  std::size_t skipped = 0;
  std::vector<MessageEvent> kept = parseEventQueue(*text, skipped);
  if (skipped > 0) {
    Logger::log(2, "Event command: " + std::to_string(skipped) + " unreadable line(s) of " +
                       queueFile_ + " skipped");
  }
  std::lock_guard guard(mutex_);
  std::size_t dropped = 0;
  for (MessageEvent& event : kept) {
    if (waiting_.size() >= kMaxWaiting) {
      ++dropped;
      continue;
    }
    waiting_.push_back(std::move(event));
  }
  if (dropped > 0) {
    Logger::log(2, "Event command: too many events waiting; " + std::to_string(dropped) +
                       " kept event(s) dropped");
  }
  if (!kept.empty()) {
    Logger::log(0, "Event command: " + std::to_string(kept.size() - dropped) +
                       " event(s) kept from the last stop");
  }
  // Written again at the stop with whatever is left then.
  ::unlink(queueFile_.c_str());
}

void EventRunner::start() {
  if (thread_.joinable()) return;
  loadQueue();
  {
    std::lock_guard guard(mutex_);
    stop_ = false;
  }
  thread_ = std::thread([this] { run(); });
  nameThread(thread_, "events");
}

void EventRunner::stop() {
  {
    std::lock_guard guard(mutex_);
    stop_ = true;
  }
  wake();
}

void EventRunner::join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void EventRunner::wake() {
  const std::uint64_t one = 1;
  if (wakeFd_ >= 0) [[maybe_unused]]
    const ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

void EventRunner::setListener(std::function<void(const MessageEvent&)> listener) {
  listener_ = std::move(listener);
}

void EventRunner::tell(const MessageEvent& event) {
  if (listener_) listener_(event);
}

void EventRunner::post(MessageEvent event) {
  if (listener_) listener_(event);
  if (settings_.getString("event.run").empty()) return;
  {
    std::lock_guard guard(mutex_);
    if (waiting_.size() >= kMaxWaiting) {
      Logger::log(2, std::string("Event command: too many events waiting; the ") +
                         MessageEvent::kindName(event.kind) + " event of message " + event.id +
                         " is dropped");
      return;
    }
    waiting_.push_back(std::move(event));
  }
  wake();
}

std::size_t EventRunner::finished() const {
  std::lock_guard guard(mutex_);
  return finished_;
}

std::size_t EventRunner::running() const {
  std::lock_guard guard(mutex_);
  return runningCount_;
}

void EventRunner::run() {
  for (;;) {
    for (;;) {
      MessageEvent event;
      {
        std::lock_guard guard(mutex_);
        if (stop_ || children_.size() >= kMaxRunning || waiting_.empty()) break;
        event = std::move(waiting_.front());
        waiting_.pop_front();
      }
      launch(event);
    }
    {
      std::lock_guard guard(mutex_);
      runningCount_ = children_.size();
      if (stop_) break;
    }

    std::vector<pollfd> fds{{wakeFd_, POLLIN, 0}};
    int timeoutMs = -1;
    const std::int64_t now = clock_.monotonicMs();
    for (const Child& child : children_) {
      if (child.pidFd >= 0) fds.push_back({child.pidFd, POLLIN, 0});
      if (child.errorFd >= 0) fds.push_back({child.errorFd, POLLIN, 0});
      if (child.pidFd < 0)
        timeoutMs = timeoutMs < 0 ? kReapPollMs : std::min(timeoutMs, kReapPollMs);
      if (!child.killed) {
        const int left =
            static_cast<int>(std::clamp<std::int64_t>(child.deadlineMs - now, 0, 60000));
        timeoutMs = timeoutMs < 0 ? left : std::min(timeoutMs, left);
      }
    }
    if (::poll(fds.data(), fds.size(), timeoutMs) < 0 && errno != EINTR) {
      Logger::log(3, "Event command: waiting failed (" + systemError(errno) + ")");
      break;
    }
    std::uint64_t count = 0;
    while (::read(wakeFd_, &count, sizeof count) > 0) {
    }

    const std::int64_t later = clock_.monotonicMs();
    for (Child& child : children_) {
      readErrors(child);
      if (!child.killed && later >= child.deadlineMs) {
        ::kill(-child.pid, SIGKILL);
        child.killed = true;
      }
    }
    for (auto it = children_.begin(); it != children_.end();) {
      int status = 0;
      const pid_t ended = ::waitpid(it->pid, &status, WNOHANG);
      if (ended != it->pid) {
        ++it;
        continue;
      }
      readErrors(*it);
      const std::string what = "Event command " + it->program + " (" + it->event + ")";
      if (it->killed) {
        Logger::log(2, what + " still ran after its time-out and was ended");
      } else if (WIFEXITED(status)) {
        Logger::log(WEXITSTATUS(status) == 0 ? 0 : 2,
                    what + " ended with exit code " + std::to_string(WEXITSTATUS(status)));
      } else {
        Logger::log(2, what + " was ended by signal " + std::to_string(WTERMSIG(status)));
      }
      reap(*it);
      it = children_.erase(it);
    }
  }
  endAll();
}

void EventRunner::launch(const MessageEvent& event) {
  const std::string program = expandEnvironment(toUtf8(settings_.getString("event.run")));
  const std::string what =
      "Event command " + program + " (" + MessageEvent::kindName(event.kind) + ")";
  if (program.empty()) return;
  int pipeFds[2] = {-1, -1};
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
    Logger::log(3, what + " can't be started: " + systemError(errno));
    std::lock_guard guard(mutex_);
    ++finished_;
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  // Not the modem port, the folder locks or the instance lock: a program that hangs on to them
  // would keep them after the gateway ends.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // Its own process group, so that a time-out ends whatever it started too; the signals as a
  // fresh program expects them, whatever the gateway blocks or ignores.
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setpgroup(&attributes, 0);
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  sigfillset(&signals);
  sigdelset(&signals, SIGKILL);
  sigdelset(&signals, SIGSTOP);
  posix_spawnattr_setsigdefault(&attributes, &signals);

  std::vector<std::string> environment = childEnvironment(event, instance_);
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string argument = program;
  char* argv[] = {argument.data(), nullptr};

  pid_t pid = -1;
  const int error = ::posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(pipeFds[1]);
  if (error != 0) {
    ::close(pipeFds[0]);
    Logger::log(3, what + " can't be started: " + systemError(error));
    std::lock_guard guard(mutex_);
    ++finished_;
    return;
  }
  ::fcntl(pipeFds[0], F_SETFL, ::fcntl(pipeFds[0], F_GETFL) | O_NONBLOCK);
  int seconds = settings_.getInt("event.timeout");
  if (seconds < 1) seconds = kDefaultTimeoutSeconds;
  Child child;
  child.pid = pid;
  child.pidFd = openPidFd(pid);
  child.errorFd = pipeFds[0];
  child.deadlineMs = clock_.monotonicMs() + static_cast<std::int64_t>(seconds) * 1000;
  child.program = program;
  // A call has no message id: its name alone, without a space after it.
  child.event = std::string(MessageEvent::kindName(event.kind));
  if (!event.id.empty()) child.event += " " + event.id;
  child.message = event;
  children_.push_back(std::move(child));
}

void EventRunner::readErrors(Child& child) {
  char buffer[4096];
  while (child.errorFd >= 0) {
    const ssize_t got = ::read(child.errorFd, buffer, sizeof buffer);
    if (got > 0) {
      const std::size_t room = kErrorBytes - std::min(kErrorBytes, child.errorOutput.size());
      child.errorOutput.append(buffer, std::min(room, static_cast<std::size_t>(got)));
    } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
      closeFd(child.errorFd);  // end of output
    } else {
      return;
    }
  }
}

void EventRunner::reap(Child& child) {
  std::size_t lines = 0;
  std::size_t begin = 0;
  const std::string& output = child.errorOutput;
  while (begin < output.size() && lines < kErrorLines) {
    std::size_t end = output.find('\n', begin);
    if (end == std::string::npos) end = output.size();
    if (end > begin) {
      Logger::log(2, "Event command error output: " + output.substr(begin, end - begin));
      ++lines;
    }
    begin = end + 1;
  }
  closeFd(child.pidFd);
  closeFd(child.errorFd);
  std::lock_guard guard(mutex_);
  ++finished_;
}

void EventRunner::endAll() {
  std::vector<MessageEvent> kept;
  for (Child& child : children_) {
    ::kill(-child.pid, SIGKILL);
    ::waitpid(child.pid, nullptr, 0);
    Logger::log(1, "Event command " + child.program + " (" + child.event + ") ended at shut-down");
    closeFd(child.pidFd);
    closeFd(child.errorFd);
    // Cut short: it runs again after the next start.
    kept.push_back(std::move(child.message));
  }
  children_.clear();
  std::lock_guard guard(mutex_);
  runningCount_ = 0;
  for (MessageEvent& event : waiting_) kept.push_back(std::move(event));
  waiting_.clear();
  if (kept.empty()) return;
  if (queueFile_.empty()) {
    Logger::log(1,
                "Event command: " + std::to_string(kept.size()) + " event(s) not run at shut-down");
  } else if (writeFileAtomically(queueFile_, formatEventQueue(kept))) {
    Logger::log(
        1, "Event command: " + std::to_string(kept.size()) + " event(s) kept for the next start");
  } else {
    Logger::log(3, "Event command: " + std::to_string(kept.size()) + " event(s) can't be kept in " +
                       queueFile_ + " (" + systemError(errno) + ")");
  }
}

}  // namespace parlane
