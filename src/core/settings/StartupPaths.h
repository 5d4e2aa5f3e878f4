#pragma once

#include <string>

#include "core/settings/StartupOptions.h"

namespace parlane {

// Where this copy of the program keeps its configuration and data, fixed before anything starts.
struct StartupPaths {
  std::string workingDirectory;
  // valtorin.cfg (zentrad.cfg with cfgservice) in the working directory, else in the installed
  // data folder when the working directory has none.
  std::string defaultConfigPath;
  // %appdata%/Quortane SMS/valtorin.cfg (or zentrad.cfg), expanded.
  std::string userConfigPath;
  // %appdata%/Quortane SMS, expanded: folder files with relative names live here.
  std::string dataFolder;
  // "Software\Quortane SMS\Parlane", with a blank and the instance number for instances above 0.
  std::string registryKey;
  // Empty for instance 0, else " instance N": fills the first "%s" of every window title.
  std::string titleSuffix;
};

StartupPaths makeStartupPaths(const StartupOptions& options, const std::string& workingDirectory,
                              const std::string& installedDataFolder);

std::string registryKeyFor(int instance);
std::string titleSuffixFor(int instance);

// The log path of an instance: ".N" goes before the last four characters (the extension), unless
// the path already carries it there.
std::string instanceLogPath(const std::string& path, int instance);

}  // namespace parlane
