#include "support/ScriptedModem.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace parlane::test {

namespace {

using Ms = std::chrono::milliseconds;

bool isCommandEnd(char c) { return c == '\r' || c == '\x1A'; }

}  // namespace

ScriptedModem::ScriptedModem() : link_(dir_.file("modem")) {
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  plug();
}

ScriptedModem::~ScriptedModem() {
  unplug();
  ::close(wakeFd_);
}

void ScriptedModem::plug() {
  if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
    std::perror("openpty");
    std::abort();
  }
  // Raw from the start, so that nothing written before the channel opens is echoed or changed.
  termios settings{};
  ::tcgetattr(slave_, &settings);
  ::cfmakeraw(&settings);
  ::tcsetattr(slave_, TCSANOW, &settings);
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
  ::unlink(link_.c_str());
  if (::symlink(::ptsname(master_), link_.c_str()) != 0) {
    std::perror("symlink");
    std::abort();
  }
  {
    std::lock_guard guard(mutex_);
    stop_ = false;
    pending_.clear();
  }
  thread_ = std::thread([this] { run(); });
}

void ScriptedModem::stopThread() {
  {
    std::lock_guard guard(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  std::vector<std::thread> delayed;
  {
    std::lock_guard guard(delayedMutex_);
    delayed.swap(delayed_);
  }
  for (std::thread& thread : delayed) thread.join();
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
  if (thread_.joinable()) thread_.join();
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = ::read(wakeFd_, &count, sizeof count);
}

void ScriptedModem::unplug() {
  if (master_ < 0) return;
  stopThread();
  std::lock_guard writeGuard(writeMutex_);
  ::close(master_);
  ::close(slave_);
  master_ = slave_ = -1;
  ::unlink(link_.c_str());
}

void ScriptedModem::plugBack() {
  if (master_ >= 0) return;
  plug();
}

std::string ScriptedModem::devicePath() const {
  char target[256] = {};
  const ssize_t n = ::readlink(link_.c_str(), target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

void ScriptedModem::on(const std::string& command, const std::string& reply) {
  onCommand([command, reply](const std::string& line, std::string& out) {
    if (line != command) return false;
    out = reply;
    return true;
  });
}

void ScriptedModem::onPrefix(const std::string& prefix, const std::string& reply) {
  onCommand([prefix, reply](const std::string& line, std::string& out) {
    if (line.rfind(prefix, 0) != 0) return false;
    out = reply;
    return true;
  });
}

void ScriptedModem::onCommand(std::function<bool(const std::string&, std::string&)> rule) {
  std::lock_guard guard(mutex_);
  rules_.push_back(std::move(rule));
}

void ScriptedModem::setEcho(bool echo) {
  std::lock_guard guard(mutex_);
  echo_ = echo;
}

void ScriptedModem::setSplitBytes(bool split) {
  std::lock_guard guard(mutex_);
  split_ = split;
}

void ScriptedModem::setSilent(bool silent) {
  std::lock_guard guard(mutex_);
  silent_ = silent;
}

void ScriptedModem::send(const std::string& bytes) { writeAll(bytes); }

void ScriptedModem::sendAfter(int delayMs, const std::string& bytes) {
  // Not under mutex_: a rule, which runs under it, may call this.
  std::lock_guard guard(delayedMutex_);
  delayed_.emplace_back([this, delayMs, bytes] {
    {
      std::unique_lock lock(mutex_);
      if (changed_.wait_for(lock, Ms(delayMs), [this] { return stop_; })) return;
    }
    writeAll(bytes);
  });
}

void ScriptedModem::setBodyPrompts(bool prompts) {
  std::lock_guard guard(mutex_);
  bodyPrompts_ = prompts;
}

void ScriptedModem::sendAndWaitRead(const std::string& bytes) {
  writeAll(bytes);
  waitUntilRead();
}

bool ScriptedModem::waitUntilRead(int limitMs) const {
  // The pseudo-terminal hands bytes to the line discipline asynchronously, so an empty input
  // queue counts only when it stays empty for a few checks in a row.
  const auto deadline = std::chrono::steady_clock::now() + Ms(limitMs);
  int emptyChecks = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    {
      std::lock_guard guard(mutex_);
      if (stop_) return false;
    }
    int waiting = 0;
    if (slave_ < 0 || ::ioctl(slave_, FIONREAD, &waiting) != 0) return false;
    emptyChecks = waiting == 0 ? emptyChecks + 1 : 0;
    if (emptyChecks >= 3) return true;
    std::this_thread::sleep_for(Ms(1));
  }
  return false;
}

std::string ScriptedModem::received() const {
  std::lock_guard guard(mutex_);
  return received_;
}

std::vector<std::string> ScriptedModem::commands() const {
  std::lock_guard guard(mutex_);
  return commands_;
}

bool ScriptedModem::waitForCommands(std::size_t count, int limitMs) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, Ms(limitMs), [&] { return commands_.size() >= count; });
}

void ScriptedModem::writeAll(const std::string& bytes) {
  std::lock_guard guard(writeMutex_);
  std::size_t done = 0;
  while (master_ >= 0 && done < bytes.size()) {
    const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd out{master_, POLLOUT, 0};
      ::poll(&out, 1, 100);
    } else {
      return;
    }
  }
}

void ScriptedModem::run() {
  char data[4096];
  while (true) {
    {
      std::lock_guard guard(mutex_);
      if (stop_) return;
    }
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {master_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
    if (fds[0].revents != 0) continue;
    if ((fds[1].revents & POLLIN) != 0) {
      const ssize_t n = ::read(master_, data, sizeof data);
      if (n > 0) handleInput(data, static_cast<std::size_t>(n));
    }
  }
}

void ScriptedModem::handleInput(const char* data, std::size_t size) {
  std::vector<std::string> complete;
  {
    std::lock_guard guard(mutex_);
    received_.append(data, size);
    pending_.append(data, size);
    while (true) {
      if (inBody_) {
        // A body: CRs are part of it and each one opens a new prompt; Ctrl-Z ends it. The LF
        // of the command's line end is no part of it.
        if (bodyScanned_ == 0 && !pending_.empty() && pending_.front() == '\n') pending_.erase(0, 1);
        std::size_t end = 0;
        for (; end < pending_.size() && pending_[end] != '\x1A'; ++end) {
          if (pending_[end] == '\r' && end >= bodyScanned_) writeAll("\r\n> ");
        }
        bodyScanned_ = end;
        if (end == pending_.size()) break;
        complete.push_back(pending_.substr(0, end));
        pending_.erase(0, end + 1);
        inBody_ = false;
        bodyScanned_ = 0;
        continue;
      }
      while (!pending_.empty() && pending_.front() == '\n') pending_.erase(0, 1);
      std::size_t end = 0;
      while (end < pending_.size() && !isCommandEnd(pending_[end])) ++end;
      if (end == pending_.size()) break;
      complete.push_back(pending_.substr(0, end));
      pending_.erase(0, end + 1);
      const std::string& taken = complete.back();
      inBody_ = bodyPrompts_ && (taken.rfind("AT+CMGS=\"", 0) == 0 ||
                                 taken.rfind("AT+CMGW=\"", 0) == 0);
    }
  }
  for (const std::string& command : complete) {
    answer(command);
    {
      std::lock_guard guard(mutex_);
      commands_.push_back(command);
    }
    changed_.notify_all();
  }
}

void ScriptedModem::answer(const std::string& command) {
  std::string reply;
  bool echo;
  bool split;
  bool found = false;
  {
    std::lock_guard guard(mutex_);
    echo = echo_;
    split = split_;
    if (!silent_) {
      for (const auto& rule : rules_) {
        if (rule(command, reply)) {
          found = true;
          break;
        }
      }
    }
  }
  if (echo) writeAll(command + "\r");
  if (!found) return;
  if (!split) {
    writeAll(reply);
    return;
  }
  for (char c : reply) {
    writeAll(std::string(1, c));
    waitUntilRead();
  }
}

}  // namespace parlane::test
