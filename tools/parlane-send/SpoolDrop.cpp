#include "parlane-send/SpoolDrop.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <random>

#include "core/settings/ConfigurationChain.h"
#include "core/util/FileIo.h"

namespace parlane::send {

namespace {

// Unique among writers: the time, the process and a random part.
std::string newName() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  ::gmtime_r(&now, &parts);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &parts);
  std::random_device random;
  char tail[16];
  std::snprintf(tail, sizeof tail, "%08x", static_cast<unsigned>(random()));
  return std::string(stamp) + "-" + std::to_string(::getpid()) + "-" + tail + ".sms";
}

}  // namespace

std::optional<std::string> dropIntoSpool(const std::string& folder, const SpoolMessage& message,
                                         std::string& error) {
  if (const int failure = createFolder(folder); failure != 0) {
    error = "can't make the spool folder " + folder + ": " + std::strerror(failure);
    return std::nullopt;
  }
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = folder + " is not a folder";
    return std::nullopt;
  }
  const std::string text = formatSpoolFile(message);
  for (int attempt = 0; attempt < 10; ++attempt) {
    const std::string name = newName();
    const std::string path = folder + "/" + name;
    const std::string temporary = path + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      error = "can't write " + temporary + ": " + std::strerror(errno);
      return std::nullopt;
    }
    if (!writeAllBytes(fd, text) || ::fsync(fd) != 0) {
      error = "can't write " + temporary + ": " + std::strerror(errno);
      ::close(fd);
      ::unlink(temporary.c_str());
      return std::nullopt;
    }
    ::close(fd);
    // The time, the process and a random part make the name unique, so the rename replaces
    // nothing.
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
      error = "can't write " + path + ": " + std::strerror(errno);
      ::unlink(temporary.c_str());
      return std::nullopt;
    }
    return name;
  }
  error = "can't find a free file name in " + folder;
  return std::nullopt;
}

}  // namespace parlane::send
