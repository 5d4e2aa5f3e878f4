#include "app/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace parlane {

std::string InstanceLock::nameFor(int instance) {
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%04x", static_cast<unsigned>(instance + 0xC254) & 0xFFFF);
  return std::string("bc8353a8-3079-486d-b3cf-e16c3ee1") + suffix;
}

std::string InstanceLock::pathFor(int instance) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string folder = (runtime != nullptr && *runtime != '\0') ? runtime : "/tmp";
  return folder + "/" + nameFor(instance) + ".lock";
}

bool InstanceLock::acquire(int instance) {
  if (fd_ >= 0) return true;
  const int fd = ::open(pathFor(instance).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

InstanceLock::~InstanceLock() {
  // The file stays: removing it would let a third copy lock a fresh file while a second one still
  // holds the old, unlinked one.
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace parlane
