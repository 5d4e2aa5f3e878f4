#include "core/log/Logger.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "core/log/LogText.h"
#include "core/util/FileIo.h"
#include "core/util/Utf.h"

namespace parlane {

namespace {

std::atomic<Logger*> globalLogger{nullptr};

constexpr int kRotationCheckInterval = 100;

}  // namespace

Logger::Logger(std::string path, const Clock& clock) : path_(std::move(path)), clock_(clock) {
  openFile(false);
}

Logger::~Logger() {
  Logger* self = this;
  globalLogger.compare_exchange_strong(self, nullptr);
  if (fd_ >= 0) ::close(fd_);
}

void Logger::openFile(bool truncate) {
  if (path_.empty()) return;
  const int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (truncate ? O_TRUNC : 0);
  fd_ = ::open(path_.c_str(), flags, static_cast<mode_t>(kPrivateFileMode));
}

void Logger::setLevel(int threshold) { threshold_.store(threshold, std::memory_order_relaxed); }

void Logger::setSizeLimit(int kilobytes) {
  std::lock_guard lock(mutex_);
  sizeLimitKb_ = kilobytes;
}

void Logger::applyConfiguredLevel(int configuredLevel) {
  switch (configuredLevel) {
    case 0:
      setLevel(0);
      break;
    case 1:
      setLevel(2);
      break;
    case 2:
      setLevel(10);
      break;
    default:
      break;
  }
}

std::string Logger::linePrefix() const {
  const timespec now = clock_.wallTime();
  std::tm local{};
  ::localtime_r(&now.tv_sec, &local);
  const unsigned threadId = static_cast<unsigned>(::gettid()) & 0xFFFFu;
  char buffer[96];
  const int n =
      std::snprintf(buffer, sizeof buffer, "[%02d-%02d-%04d %02d:%02d:%02d.%03d %04u] ",
                    local.tm_mday, local.tm_mon + 1, local.tm_year + 1900, local.tm_hour,
                    local.tm_min, local.tm_sec, static_cast<int>(now.tv_nsec / 1000000), threadId);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

void Logger::write(int level, std::u16string_view text) {
  if (level < threshold_.load(std::memory_order_relaxed)) return;
  writeLine(linePrefix() + escapeControls(toUtf8(text)) + "\r\n");
}

void Logger::write(int level, std::string_view utf8Text) {
  if (level < threshold_.load(std::memory_order_relaxed)) return;
  // Round trip so that stray bytes (modem noise) never make the log invalid UTF-8.
  writeLine(linePrefix() + escapeControls(toUtf8(fromUtf8(utf8Text))) + "\r\n");
}

void Logger::writeLine(const std::string& line) {
  std::lock_guard lock(mutex_);
  if (fd_ >= 0) {
    // One write() on an O_APPEND descriptor: the line lands whole at the end even if another
    // program appends too. Once write() returns the bytes belong to the kernel, so a crash of
    // this program loses nothing; syncing every line to the disk as well would cost milliseconds
    // per line on the modem's threads, for protection against power loss only.
    size_t done = 0;
    while (done < line.size()) {
      const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // write errors are ignored
      done += static_cast<size_t>(n);
    }
  }
  if (++lineCount_ % kRotationCheckInterval == 0) rotateIfNeeded();
}

void Logger::rotateIfNeeded() {
  if (sizeLimitKb_ <= 0 || fd_ < 0) return;
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return;
  if (st.st_size < static_cast<off_t>(sizeLimitKb_) * 1024) return;
  ::close(fd_);
  fd_ = -1;
  // rename() replaces an older ".1" file. If it fails, the log still starts again empty.
  ::rename(path_.c_str(), (path_ + ".1").c_str());
  openFile(true);
}

void Logger::clear() {
  std::lock_guard lock(mutex_);
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  openFile(true);
}

Logger* Logger::global() { return globalLogger.load(std::memory_order_acquire); }

void Logger::setGlobal(Logger* logger) { globalLogger.store(logger, std::memory_order_release); }

void Logger::log(int level, std::u16string_view text) {
  if (Logger* logger = global()) logger->write(level, text);
}

void Logger::log(int level, std::string_view utf8Text) {
  if (Logger* logger = global()) logger->write(level, utf8Text);
}

}  // namespace parlane
