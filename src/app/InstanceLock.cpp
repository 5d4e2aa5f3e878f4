#include "app/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace parlane {

std::string InstanceLock::nameFor(int instance) {
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%04x", static_cast<unsigned>(instance + 0xC254) & 0xFFFF);
  return std::string("bc8353a8-3079-486d-b3cf-e16c3ee1") + suffix;
}

namespace {

// Without a runtime folder the lock lives in a folder of the user's own: in /tmp another user
// could create the file first and keep the gateway from starting.
std::string privateLockFolder() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  if (cache != nullptr && *cache == '/') return std::string(cache) + "/parlane";
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home == '/') return std::string(home) + "/.cache/parlane";
  return {};
}

// Makes the folder and its missing parents (0700); then it must be a real folder of the user's
// that nobody else may write to. The reason when not.
std::string preparePrivateFolder(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return std::strerror(errno);
    if (slash == std::string::npos) break;
  }
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0) return std::strerror(errno);
  if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 022) != 0) {
    return folder + " is not a private folder of the user's";
  }
  return {};
}

}  // namespace

std::string InstanceLock::pathFor(int instance) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && *runtime != '\0') {
    return std::string(runtime) + "/" + nameFor(instance) + ".lock";
  }
  const std::string folder = privateLockFolder();
  if (!folder.empty()) return folder + "/" + nameFor(instance) + ".lock";
  // Every user shares /tmp: without the user id, another user's copy would lock this one out.
  return "/tmp/" + nameFor(instance) + "-" + std::to_string(::geteuid()) + ".lock";
}

InstanceLock::Result InstanceLock::acquire(int instance) {
  if (fd_ >= 0) return Result::Acquired;
  failureText_.clear();
  const std::string path = pathFor(instance);
  const auto fail = [&](const std::string& why) {
    failureText_ = "Can't take the instance lock " + path + ": " + why;
    return Result::Failed;
  };
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if ((runtime == nullptr || *runtime == '\0') && !privateLockFolder().empty()) {
    const std::string why = preparePrivateFolder(privateLockFolder());
    if (!why.empty()) return fail(why);
  }
  // No symbolic links: in a shared folder one could point the lock at any file of the user's.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return fail(std::strerror(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
    ::close(fd);
    return fail("the file belongs to another user or is not a regular file");
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) return Result::HeldByAnotherCopy;
    return fail(std::strerror(error));
  }
  fd_ = fd;
  return Result::Acquired;
}

InstanceLock::~InstanceLock() {
  // The file stays: removing it would let a third copy lock a fresh file while a second one still
  // holds the old, unlinked one.
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace parlane
