#pragma once

#include <string>

namespace parlane {

// One running copy per instance number: a lock file held with flock for the life of the process.
class InstanceLock {
 public:
  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // "bc8353a8-3079-486d-b3cf-e16c3ee1" followed by the four lowercase hex digits of
  // instance + 0xC254.
  static std::string nameFor(int instance);
  // The lock file: the name plus ".lock" in $XDG_RUNTIME_DIR, else /tmp.
  static std::string pathFor(int instance);

  // False when another process holds the lock (or the file can't be made).
  bool acquire(int instance);

 private:
  int fd_ = -1;
};

}  // namespace parlane
