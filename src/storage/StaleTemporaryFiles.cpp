#include "storage/StaleTemporaryFiles.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>

#include "core/util/FileIo.h"

namespace parlane {

namespace {

// mkstemp fills its six places with letters and digits.
bool isMkstempSuffix(std::string_view text) {
  return text.size() == 6 && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
         });
}

}  // namespace

int removeStaleTemporaryFiles(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) +
                             std::string(kTemporaryFileMark);
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return 0;
  int removed = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0 ||
        !isMkstempSuffix(std::string_view(name).substr(prefix.size()))) {
      continue;
    }
    const std::string stale = (slash == std::string::npos ? std::string() : folder) + name;
    if (::unlink(stale.c_str()) == 0) ++removed;
  }
  ::closedir(dir);
  return removed;
}

}  // namespace parlane
