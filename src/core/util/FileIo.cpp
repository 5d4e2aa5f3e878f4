#include "core/util/FileIo.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace parlane {

bool writeAllBytes(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

namespace {

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

void syncFolder(const std::string& path) {
  const int dir = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

}  // namespace

std::optional<std::string> readWholeDescriptor(int fd) {
  struct stat st {};
  const bool statOk = ::fstat(fd, &st) == 0;
  if (!statOk || !S_ISREG(st.st_mode)) {
    errno = !statOk ? errno : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return std::nullopt;
  }
  std::string data;
  data.reserve(static_cast<size_t>(st.st_size));
  std::vector<char> buffer(1 << 16);
  off_t offset = 0;
  for (;;) {
    const ssize_t n = ::pread(fd, buffer.data(), buffer.size(), offset);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (n == 0) break;
    data.append(buffer.data(), static_cast<size_t>(n));
    offset += n;
  }
  return data;
}

std::optional<std::string> readWholeFile(const std::string& path) {
  // O_NONBLOCK: opening a FIFO without a writer would otherwise wait forever. It changes nothing
  // for the regular files that are read.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  auto data = readWholeDescriptor(fd);
  const int saved = errno;
  ::close(fd);
  errno = saved;
  return data;
}

bool writeFileAtomically(const std::string& path, std::string_view bytes, unsigned mode,
                         int* lockedFd) {
  std::string tmpl = path + std::string(kTemporaryFileMark) + "XXXXXX";
  const int fd = ::mkstemp(tmpl.data());
  if (fd < 0) return false;
  bool ok =
      ::fchmod(fd, static_cast<mode_t>(mode)) == 0 && writeAllBytes(fd, bytes) && ::fsync(fd) == 0;
  if (ok && lockedFd != nullptr) ok = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  int saved = errno;
  const bool keepOpen = ok && lockedFd != nullptr;
  if (!keepOpen && ::close(fd) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (ok && ::rename(tmpl.c_str(), path.c_str()) != 0) {
    ok = false;
    saved = errno;
  }
  if (!ok) {
    if (keepOpen) ::close(fd);
    ::unlink(tmpl.c_str());
    errno = saved;
    return false;
  }
  syncFolder(path);
  if (lockedFd != nullptr) *lockedFd = fd;
  return true;
}

bool appendToFile(const std::string& path, std::string_view bytes, unsigned mode) {
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, static_cast<mode_t>(mode));
  if (fd < 0) return false;
  bool ok = writeAllBytes(fd, bytes) && ::fsync(fd) == 0;
  const int saved = errno;
  ::close(fd);
  errno = saved;
  return ok;
}

}  // namespace parlane
