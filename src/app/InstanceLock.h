#pragma once

#include <string>

namespace parlane {

// One running copy per instance number: a lock file held with flock for the life of the process.
class InstanceLock {
 public:
  enum class Result {
    Acquired,
    HeldByAnotherCopy,  // another copy of this instance runs: leave without a word
    Failed,             // the lock can't be taken at all: failureText() says why
  };

  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // "bc8353a8-3079-486d-b3cf-e16c3ee1" followed by the four lowercase hex digits of
  // instance + 0xC254.
  static std::string nameFor(int instance);
  // The lock file: the name plus ".lock" in $XDG_RUNTIME_DIR; else in the user's private
  // $XDG_CACHE_HOME/parlane (default ~/.cache/parlane, made 0700); with neither, in /tmp,
  // shared by every user, with "-" and the user id after the name.
  static std::string pathFor(int instance);

  Result acquire(int instance);
  // Why the last acquire failed, for the user.
  const std::string& failureText() const { return failureText_; }

 private:
  int fd_ = -1;
  std::string failureText_;
};

}  // namespace parlane
