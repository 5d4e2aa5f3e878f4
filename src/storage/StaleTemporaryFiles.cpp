#include "storage/StaleTemporaryFiles.h"

#include <dirent.h>
#include <unistd.h>

#include <cstring>

namespace parlane {

int RemoveStaleTemporaryFiles(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + ".tmp.";
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return 0;
  int removed = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    // mkstemp's six characters exactly: nothing else of the user's matches.
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string stale = (slash == std::string::npos ? std::string() : folder) + name;
    if (::unlink(stale.c_str()) == 0) ++removed;
  }
  ::closedir(dir);
  return removed;
}

}  // namespace parlane
