#pragma once

#include <ctime>
#include <functional>
#include <mutex>
#include <string>

#include "ui/mainframe/StatusLine.h"

namespace parlane {

class SettingsStore;

// Writes the status file named by "status.file" (nothing when it is empty). Another instance's
// "zentrad.status" becomes "zentrad.N.status", kept in the settings. The line replaces the file
// through a temporary file and a rename, so a reader sees the old line or the new one, never half
// of one. A failed write is logged once (until a write succeeds again) and retried at the next
// call. Any thread; calls are serialised.
class StatusFileWriter {
 public:
  // `pathChanged` runs after the instance rule rewrote "status.file" (the caller saves the
  // configuration then).
  StatusFileWriter(SettingsStore& settings, int instance, bool systemProfile,
                   std::function<void()> pathChanged = {});

  // The file the next write goes to, after the instance rule and the environment expansion;
  // empty when "status.file" is empty.
  std::string resolvePath();
  // True when the file was written.
  bool write(const StatusSnapshot& snapshot, const timespec& now);

 private:
  SettingsStore& settings_;
  const int instance_;
  const bool systemProfile_;
  std::function<void()> pathChanged_;
  std::mutex mutex_;
  bool failureLogged_ = false;
};

}  // namespace parlane
