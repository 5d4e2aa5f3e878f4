#include "core/settings/StartupPaths.h"

#include <sys/stat.h>

#include "core/util/Environment.h"

namespace parlane {

namespace {

bool isFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string registryKeyFor(int instance) {
  std::string key = "Software\\Quortane SMS\\Parlane";
  if (instance > 0) key += " " + std::to_string(instance);
  return key;
}

std::string titleSuffixFor(int instance) {
  return instance > 0 ? " instance " + std::to_string(instance) : std::string();
}

std::string instanceLogPath(const std::string& path, int instance) {
  if (instance <= 0 || path.size() < 4) return path;
  const std::string marker = "." + std::to_string(instance);
  const size_t extensionAt = path.size() - 4;
  // Compare the whole ".N" (not just two characters) so that instances above 9 are recognised too.
  if (extensionAt >= marker.size() &&
      path.compare(extensionAt - marker.size(), marker.size(), marker) == 0) {
    return path;
  }
  return path.substr(0, extensionAt) + marker + path.substr(extensionAt);
}

StartupPaths makeStartupPaths(const StartupOptions& options, const std::string& workingDirectory,
                              const std::string& installedDataFolder) {
  StartupPaths paths;
  const std::string fileName = options.systemProfile ? "zentrad.cfg" : "valtorin.cfg";
  paths.workingDirectory = workingDirectory;
  paths.defaultConfigPath = workingDirectory + "/" + fileName;
  if (!isFile(paths.defaultConfigPath) && !installedDataFolder.empty() &&
      isFile(installedDataFolder + "/" + fileName)) {
    paths.defaultConfigPath = installedDataFolder + "/" + fileName;
  }
  paths.dataFolder =
      expandEnvironment(std::string("%appdata%/Quortane SMS"), options.systemProfile);
  paths.userConfigPath = paths.dataFolder + "/" + fileName;
  paths.registryKey = registryKeyFor(options.instance);
  paths.titleSuffix = titleSuffixFor(options.instance);
  return paths;
}

}  // namespace parlane
