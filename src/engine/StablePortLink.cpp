#include "engine/StablePortLink.h"

#include <algorithm>
#include <filesystem>
#include <vector>

namespace parlane {

std::string stableLinkFor(const std::string& devicePath, const std::string& byIdFolder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path device = fs::canonical(devicePath, ec);
  if (ec) return {};
  std::vector<std::string> links;
  for (fs::directory_iterator it(byIdFolder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code linkError;
    if (!it->is_symlink(linkError) || linkError) continue;
    const fs::path target = fs::canonical(it->path(), linkError);
    if (!linkError && target == device) links.push_back(it->path().string());
  }
  if (links.empty()) return {};
  // A device with several interfaces has several links; the first by name is the same each time.
  return *std::min_element(links.begin(), links.end());
}

}  // namespace parlane
