#include "core/settings/ConfigurationChain.h"

#include <sys/stat.h>

#include <cerrno>

#include "core/settings/RegistryHive.h"
#include "core/settings/SettingsStore.h"
#include "core/util/StringTable.h"
#include "core/util/Utf.h"

namespace parlane {

int createFolder(const std::string& path) {
  if (path.empty()) return ENOENT;
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    if (slash == std::string::npos) break;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno;
  return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

ConfigurationLoad loadConfiguration(SettingsStore& settings, const RegistryHive& hive,
                                    const StartupPaths& paths) {
  ConfigurationLoad result;
  if (settings.loadFromRegistry(hive, paths.registryKey, &result.notes)) {
    result.source = ConfigurationLoad::Source::Registry;
    return result;
  }
  if (settings.loadFromFile(paths.userConfigPath)) {
    result.source = ConfigurationLoad::Source::UserFile;
    return result;
  }
  if (createFolder(paths.dataFolder) != 0) {
    result.errorText = formatString(text::kErrorCreatingDirectory, {fromUtf8(paths.dataFolder)});
    return result;
  }
  if (settings.loadFromFile(paths.defaultConfigPath)) {
    result.source = ConfigurationLoad::Source::DefaultFile;
    return result;
  }
  result.errorText = loadString(text::kFailedToInitialize);
  return result;
}

bool saveConfiguration(SettingsStore& settings, RegistryHive& hive, const StartupPaths& paths) {
  if (settings.saveToRegistry(hive, paths.registryKey)) return true;
  createFolder(paths.dataFolder);
  return settings.saveToFile(paths.userConfigPath);
}

}  // namespace parlane
