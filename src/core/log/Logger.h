#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>

#include "core/util/Clock.h"

namespace parlane {

// Appends prefixed, flushed UTF-8 lines to one log file from every thread. Levels 0 and 1 are
// events and traffic, 2 and 3 errors; lines below the threshold are dropped. Line stamps are read
// from `clock`.
class Logger {
 public:
  explicit Logger(std::string path, const Clock& clock = Clock::system());
  ~Logger();
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  void setLevel(int threshold);
  void setSizeLimit(int kilobytes);
  // Maps "logger.level" 0, 1, 2 to the thresholds 0, 2, 10; other values change nothing.
  void applyConfiguredLevel(int configuredLevel);

  void write(int level, std::u16string_view text);
  void write(int level, std::string_view utf8Text);

  void clear();

  const std::string& path() const { return path_; }

  // The process-wide logger, set by start-up once it exists; null before that.
  static Logger* global();
  static void setGlobal(Logger* logger);
  // Writes to the global logger when there is one.
  static void log(int level, std::u16string_view text);
  static void log(int level, std::string_view utf8Text);

 private:
  // "[dd-mm-yyyy hh:mm:ss.mmm tttt] " for the calling thread, now.
  std::string linePrefix() const;
  void writeLine(const std::string& line);
  void rotateIfNeeded();
  // Opens the log file for appending; `truncate` starts it empty.
  void openFile(bool truncate);

  std::string path_;
  const Clock& clock_;
  mutable std::mutex mutex_;
  int fd_ = -1;
  std::atomic<int> threshold_{0};
  int sizeLimitKb_ = 0;
  long lineCount_ = 0;
};

}  // namespace parlane
