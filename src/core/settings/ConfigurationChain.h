#pragma once

#include <string>
#include <vector>

#include "core/settings/StartupPaths.h"

namespace parlane {

class SettingsStore;
class RegistryHive;

// Where the configuration came from, or why none could be loaded.
struct ConfigurationLoad {
  enum class Source { Registry, UserFile, DefaultFile, Failed };
  Source source = Source::Failed;
  // On failure: the text for the user (shown under the caption "Error").
  std::u16string errorText;
  // What the load had to skip, one log line each: written once the log exists.
  std::vector<std::string> notes;
};

// Loads the settings in the fixed order: the registry key (used only when it holds at least two
// values), the user's configuration file, then the default configuration file after creating the
// data folder.
ConfigurationLoad loadConfiguration(SettingsStore& settings, const RegistryHive& hive,
                                    const StartupPaths& paths);

// Saves in the fixed order: the registry key, and only when that fails the user's file. The
// default configuration file is never written.
bool saveConfiguration(SettingsStore& settings, RegistryHive& hive, const StartupPaths& paths);

// Creates a folder and its missing parents, each private to the user (0700): they hold messages,
// the log and the configuration. An existing folder is fine and keeps its mode. Returns 0 or the
// errno.
int createFolder(const std::string& path);

}  // namespace parlane
