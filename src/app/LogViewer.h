#pragma once

#include <string>

namespace parlane {

class SettingsStore;

// Opens the log file `logPath` with the program in "logger.viewer", else with the desktop's
// default handler for the file. The program runs detached: it is never this process's child.
void openLogViewer(const SettingsStore& settings, const std::string& logPath);

}  // namespace parlane
