#include "service/SpoolWatcher.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/ErrorText.h"
#include "core/util/FileIo.h"
#include "core/util/StringTable.h"
#include "core/util/ThreadName.h"
#include "core/util/Utf.h"
#include "message/MessageFlags.h"
#include "message/PushMessage.h"
#include "message/SMSMessage.h"
#include "message/USSDRequest.h"
#include "service/PoolNames.h"
#include "service/SpoolFile.h"

namespace parlane {

namespace {

constexpr std::uint32_t kEvents = IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_DELETE_SELF |
                                  IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;
constexpr int kMaxRejectedCopies = 1000;

std::string systemError(int errnum) { return toUtf8(errorText(errnum)); }

void log(int level, const std::string& text) { Logger::log(level, "Spool: " + text); }

// Files being written, and the folder of rejected files, are not messages.
bool isCandidate(const std::string& name) {
  return !name.empty() && name.front() != '.' && !name.ends_with(".tmp") &&
         name != SpoolWatcher::kRejectedFolder;
}

// A folder of the spool (".taking", "rejected") opened without following a link, and only when
// it is the user's own; -1 with errno set otherwise.
int openOwnFolder(int parentFd, const char* name) {
  const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid()) {
    ::close(fd);
    errno = EPERM;
    return -1;
  }
  return fd;
}

// The names in a folder, without "." and "..".
std::vector<std::string> namesIn(int folderFd) {
  std::vector<std::string> names;
  const int fd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return names;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return names;
  }
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

// Written beside the file it explains, through the folder's descriptor, never through a link.
bool writeFileAt(int folderFd, const std::string& name, const std::string& bytes) {
  const std::string temporary = name + ".tmp";
  const int fd = ::openat(folderFd, temporary.c_str(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool written = writeAllBytes(fd, bytes) && ::fsync(fd) == 0;
  written = ::close(fd) == 0 && written;
  if (written && ::renameat(folderFd, temporary.c_str(), folderFd, name.c_str()) == 0) return true;
  ::unlinkat(folderFd, temporary.c_str(), 0);
  return false;
}

// Whether a writer still holds the file open for writing: a read lease is refused while anyone
// does. Nothing when leases can't be taken here (another owner, a file system without them).
std::optional<bool> openForWriting(int fd) {
  // A writer opening the file in the instant the lease is held would signal its break with
  // SIGIO, which ends a process; SIGURG is ignored unless handled.
  ::fcntl(fd, F_SETSIG, SIGURG);
  if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
    ::fcntl(fd, F_SETLEASE, F_UNLCK);
    return false;
  }
  if (errno == EAGAIN) return true;
  return std::nullopt;
}

// A file may still be in the making when someone holds it open for writing, or, unless inotify
// said it was closed or renamed in, when it changed in the last second.
bool stillWritten(int fd, const struct stat& st, bool complete) {
  const std::optional<bool> writing = openForWriting(fd);
  if (writing.value_or(false)) return true;
  if (complete) return false;
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const long long ageMs = (static_cast<long long>(now.tv_sec) - st.st_mtim.tv_sec) * 1000 +
                          (now.tv_nsec - st.st_mtim.tv_nsec) / 1000000;
  return ageMs > -1000 && ageMs < 1000;
}

// Why a folder others could write to (or that is not the user's own) is not used; empty when it
// is fine.
std::string distrust(int folderFd) {
  struct stat st {};
  if (::fstat(folderFd, &st) != 0) return "it can't be read (" + systemError(errno) + ")";
  if (st.st_uid != ::geteuid()) {
    return "it belongs to another user (uid " + std::to_string(st.st_uid) + ")";
  }
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return std::string("others may write to it (mode ") + mode + ")";
  }
  return {};
}

bool makeFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
    errno = ENOTDIR;
  }
  return false;
}

// The messages of a spool file, one per recipient; the outbox's door checks their numbers.
std::vector<std::unique_ptr<GenericMessage>> messagesOf(const SpoolMessage& spooled,
                                                        const std::string& name) {
  std::vector<std::unique_ptr<GenericMessage>> messages;
  const std::u16string text = fromUtf8(spooled.text);
  auto finish = [&](std::unique_ptr<GenericMessage> message) {
    if (spooled.ton) message->dstton = *spooled.ton;
    if (spooled.flash) message->flags |= messageFlags::kFlash;
    if (spooled.report) message->flags |= messageFlags::kReport;
    if (spooled.validity > 0) message->expiry = message->created + spooled.validity;
    if (spooled.sendAfter) message->notBefore = static_cast<MessageTime>(*spooled.sendAfter);
    if (spooled.expires) message->expires = static_cast<MessageTime>(*spooled.expires);
    // Who asks for the message can find it in the folders by its file name.
    message->custom = fromUtf8(name);
    messages.push_back(std::move(message));
  };
  if (spooled.ussd) {
    finish(std::make_unique<USSDRequest>(u"", u"", text));
    return messages;
  }
  for (const std::string& number : spooled.to) {
    if (spooled.url.empty()) {
      finish(std::make_unique<SMSMessage>(u"", fromUtf8(number), text));
    } else {
      finish(std::make_unique<PushMessage>(u"", fromUtf8(number), text, fromUtf8(spooled.url)));
    }
  }
  return messages;
}

}  // namespace

SpoolWatcher::SpoolWatcher(std::string folder, const SettingsStore& settings, Queue queue,
                           const Clock& clock)
    : folder_(std::move(folder)), settings_(settings), queue_(std::move(queue)), clock_(clock) {}

SpoolWatcher::~SpoolWatcher() {
  stop();
  join();
  for (int fd : {inotifyFd_, wakeFd_, takingFd_, folderFd_, poolFd_}) {
    if (fd >= 0) ::close(fd);
  }
}

std::string SpoolWatcher::folderFor(const std::string& dataFolder, int instance) {
  std::string folder = dataFolder + "/spool";
  if (instance > 0) folder += "." + std::to_string(instance);
  return folder;
}

bool SpoolWatcher::start() {
  if (thread_.joinable()) return true;
  if (!makeFolder(folder_) ||
      (folderFd_ = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)) < 0) {
    log(3, folder_ + " can't be used as the spool folder (" + systemError(errno) +
               "); no spool files are taken");
    return false;
  }
  if (!trusted()) return false;
  if (::mkdirat(folderFd_, kRejectedFolder, 0700) != 0 && errno != EEXIST) {
    log(2, folder_ + "/" + kRejectedFolder + " can't be made (" + systemError(errno) +
               "); files that are refused stay where they are");
  }
  if ((::mkdirat(folderFd_, kTakingFolder, 0700) != 0 && errno != EEXIST) ||
      (takingFd_ = openOwnFolder(folderFd_, kTakingFolder)) < 0) {
    log(3, folder_ + "/" + kTakingFolder + " can't be used (" + systemError(errno) +
               "); no spool files are taken");
    return false;
  }
  inotifyFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (inotifyFd_ < 0 || wakeFd_ < 0 ||
      ::inotify_add_watch(inotifyFd_, folder_.c_str(), kEvents) < 0) {
    log(3, "can't watch " + folder_ + " (" + systemError(errno) + "); no spool files are taken");
    return false;
  }
  // Without a usable pool the instance runs on its own spool.
  if (pool_.room && !startPool()) pool_ = Pool{};
  // Watching first, then the files already there: none slips between the two.
  takeWaiting();
  takeFromPool();
  thread_ = std::thread([this] { run(); });
  nameThread(thread_, "spool");
  log(0, "watching " + folder_);
  return true;
}

void SpoolWatcher::stop() {
  stopping_ = true;
  wake();
}

void SpoolWatcher::wake() {
  if (wakeFd_ < 0) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

void SpoolWatcher::join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool SpoolWatcher::trusted() {
  const std::string why = distrust(folderFd_);
  if (why.empty()) {
    if (untrustedLogged_) log(1, folder_ + " is trusted again; spool files are taken");
    untrustedLogged_ = false;
    return true;
  }
  if (!untrustedLogged_) log(3, folder_ + " is not used: " + why + "; no spool files are taken");
  untrustedLogged_ = true;
  return false;
}

bool SpoolWatcher::poolTrusted() {
  const std::string why = distrust(poolFd_);
  if (why.empty()) {
    if (poolUntrustedLogged_) log(1, pool_.folder + " is trusted again; pool files are taken");
    poolUntrustedLogged_ = false;
    return true;
  }
  if (!poolUntrustedLogged_) {
    log(3, pool_.folder + " is not used: " + why + "; no files are taken from the pool");
  }
  poolUntrustedLogged_ = true;
  return false;
}

void SpoolWatcher::run() {
  while (!stopping_) {
    int timeoutMs = -1;
    if (!pending_.empty()) {
      std::int64_t due = pending_.begin()->second.dueMs;
      for (const auto& [name, entry] : pending_) due = std::min(due, entry.dueMs);
      timeoutMs = static_cast<int>(std::clamp<std::int64_t>(due - clock_.monotonicMs(), 0, 60000));
    }
    pollfd fds[2] = {{inotifyFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    if (::poll(fds, 2, timeoutMs) < 0) {
      if (errno == EINTR) continue;
      log(3,
          "waiting for files failed (" + systemError(errno) + "); no more spool files are taken");
      return;
    }
    std::uint64_t count = 0;
    while (::read(wakeFd_, &count, sizeof count) > 0) {
    }
    if (stopping_) return;
    if (fds[0].revents != 0) readEvents();
    takeDue();
    // Every wake-up may have made room (a send result, a connection) or brought pool files.
    takeFromPool();
  }
}

void SpoolWatcher::later(const std::string& name, std::int64_t delayMs, bool saveFailed) {
  pending_[name] = Pending{clock_.monotonicMs() + delayMs, saveFailed};
}

void SpoolWatcher::takeDue() {
  const std::int64_t now = clock_.monotonicMs();
  std::vector<std::pair<std::string, bool>> due;
  for (const auto& [name, entry] : pending_) {
    if (entry.dueMs <= now) due.emplace_back(name, entry.saveFailed);
  }
  for (const auto& [name, saveFailed] : due) {
    pending_.erase(name);
    struct stat st {};
    // A file that could not go back under its name waits in ".taking".
    if (::fstatat(takingFd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) takeLeftover(name);
    // A file the outbox could not take was whole when it was read.
    takeFile(name, saveFailed);
  }
}

void SpoolWatcher::readEvents() {
  alignas(inotify_event) char buffer[16384];
  for (;;) {
    const ssize_t got = ::read(inotifyFd_, buffer, sizeof buffer);
    if (got <= 0) return;  // EAGAIN: all read
    std::vector<std::pair<std::string, bool>> names;
    bool lost = false;
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->mask & IN_Q_OVERFLOW) lost = true;
      if (event->wd == poolWatch_ && poolWatch_ >= 0) {
        // Pool files are taken in name order after the events are read.
        if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
          log(3, pool_.folder +
                     " was removed or moved; no more pool files are taken until a "
                     "restart");
        }
        continue;
      }
      if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
        log(3, folder_ + " was removed or moved; no more spool files are taken until a restart");
      }
      if (event->len == 0 || (event->mask & IN_ISDIR)) continue;
      const std::string name(event->name);
      if (!isCandidate(name)) continue;
      // While the outbox can't take messages, the minute's retry takes the name (the file this
      // watcher put back, or a newer one).
      if (const auto found = pending_.find(name);
          found != pending_.end() && found->second.saveFailed) {
        continue;
      }
      // A new name alone (ln, or a file just opened) is looked at like a found file; closed or
      // renamed in, it is complete.
      const bool complete = (event->mask & (IN_CLOSE_WRITE | IN_MOVED_TO)) != 0;
      const auto known = std::find_if(names.begin(), names.end(),
                                      [&](const auto& entry) { return entry.first == name; });
      if (known == names.end()) {
        names.emplace_back(name, complete);
      } else {
        known->second = known->second || complete;
      }
    }
    if (lost) {
      log(2, "too many files at once; looking through the whole folder");
      takeWaiting();
      continue;
    }
    for (const auto& [name, complete] : names) takeFile(name, complete);
  }
}

void SpoolWatcher::takeWaiting() {
  if (!trusted()) return;
  // Files claimed before a crash first: they were whole when they were claimed.
  for (const std::string& name : namesIn(takingFd_)) takeLeftover(name);
  for (const std::string& name : namesIn(folderFd_)) {
    struct stat st {};
    if (!isCandidate(name)) continue;
    if (::fstatat(folderFd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
      continue;
    }
    takeFile(name);
  }
}

void SpoolWatcher::takeFile(const std::string& name, bool complete) {
  if (!trusted()) return;
  pending_.erase(name);
  const int fd =
      ::openat(folderFd_, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return;  // taken meanwhile, or renamed away
    reject(folderFd_, name,
           errno == ELOOP ? std::string("a symbolic link, not followed")
                          : "can't be opened: " + systemError(errno));
    return;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const std::string reason =
        S_ISREG(st.st_mode) ? "can't be read: " + systemError(errno) : "not a regular file";
    ::close(fd);
    reject(folderFd_, name, reason);
    return;
  }
  if (stillWritten(fd, st, complete)) {
    ::close(fd);
    later(name, kBusyRetryMs, false);
    return;
  }
  // Claimed: from here on the name is free for the writer's next file, and nothing this watcher
  // removes can be a file it has not read.
  if (::renameat2(folderFd_, name.c_str(), takingFd_, name.c_str(), RENAME_NOREPLACE) != 0) {
    const int error = errno;
    ::close(fd);
    if (error == ENOENT) return;
    log(2, name + " can't be claimed (" + systemError(error) + "); it is tried again later");
    later(name, kSaveRetryMs, error == EEXIST);
    return;
  }
  struct stat claimed {};
  if (::fstatat(takingFd_, name.c_str(), &claimed, AT_SYMLINK_NOFOLLOW) != 0 ||
      claimed.st_ino != st.st_ino || claimed.st_dev != st.st_dev) {
    // A newer file was renamed over the name between the look and the claim: that one is ours.
    ::close(fd);
    takeLeftover(name);
    return;
  }
  takeClaimed(name, fd, st);
}

void SpoolWatcher::takeLeftover(const std::string& name) {
  // Taken from the pool, queued, and the stop came before the file was removed: its messages
  // are in the folders under its unique name, and only there.
  if (pool::isTaken(name) && pool_.queued && pool_.queued(name)) {
    log(1, name + " was queued before the stop; the file is removed, not queued again");
    ::unlinkat(takingFd_, name.c_str(), 0);
    return;
  }
  const int fd =
      ::openat(takingFd_, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd < 0 && errno == ENOENT) return;
    if (fd >= 0) ::close(fd);
    reject(takingFd_, name, "not a regular file");
    return;
  }
  takeClaimed(name, fd, st);
}

void SpoolWatcher::takeClaimed(const std::string& name, int fd, const struct stat& st) {
  std::optional<std::string> bytes;
  std::string refusal;
  if (static_cast<std::uint64_t>(st.st_size) > kMaxSpoolFileBytes) {
    refusal = "larger than " + std::to_string(kMaxSpoolFileBytes) + " bytes (" +
              std::to_string(st.st_size) + ")";
  } else if (!(bytes = readWholeDescriptor(fd))) {
    refusal = "can't be read: " + systemError(errno);
  }
  ::close(fd);
  if (!refusal.empty()) {
    reject(takingFd_, name, refusal);
    return;
  }

  const SpoolParse parse = parseSpoolFile(*bytes, clock_.wallSeconds());
  if (!parse.message) {
    reject(takingFd_, name, parse.error);
    return;
  }
  auto messages = messagesOf(*parse.message, name);
  if (messages.empty()) {
    reject(takingFd_, name, "no message");
    return;
  }
  // The outbox drops its oldest records beyond its limit: a file that brings more would lose
  // its own messages without a word.
  const int limit = settings_.getInt("outbox.maxrecords");
  if (limit > 0 && messages.size() > static_cast<std::size_t>(limit)) {
    reject(takingFd_, name,
           std::to_string(messages.size()) + " messages, more than the outbox keeps " +
               "(\"outbox.maxrecords\" is " + std::to_string(limit) + ")");
    return;
  }
  // The minute counts from the attempt, not from when its failure was noted.
  const std::int64_t offeredMs = clock_.monotonicMs();
  const SubmitResult result = queue_(std::move(messages));
  for (const SubmitWarning& warning : result.warnings) Logger::log(1, warning.text);
  for (const RefusedMessage& refused : result.refused) {
    if (refused.why != SubmitRefusal::BadRecipient && refused.why != SubmitRefusal::NotAllowed)
      continue;
    reject(takingFd_, name, toUtf8(refused.reason));
    return;
  }
  if (!result.allTaken()) {
    // Back under its name unless a newer file has it; tried again in a minute either way.
    ::renameat2(takingFd_, name.c_str(), folderFd_, name.c_str(), RENAME_NOREPLACE);
    log(3, name + ": the outbox can't be saved; the file stays for the next attempt");
    later(name, kSaveRetryMs - (clock_.monotonicMs() - offeredMs), true);
    return;
  }
  if (::unlinkat(takingFd_, name.c_str(), 0) != 0 && errno != ENOENT) {
    // Taken again at the next start: better twice than never.
    log(3, name + " is queued but can't be removed (" + systemError(errno) + ")");
  }
  log(0, name + ": " + std::to_string(result.taken()) + " message(s) queued");
}

void SpoolWatcher::reject(int fromFd, const std::string& name, const std::string& reason) {
  log(2, name + " rejected: " + reason);
  const std::string rejected = folder_ + "/" + kRejectedFolder + "/";
  // Only into a real folder of the user's: a link there could send the file anywhere.
  const int rejectedFd = openOwnFolder(folderFd_, kRejectedFolder);
  if (rejectedFd < 0) {
    log(3, name + " can't be moved to " + rejected + " (" +
               (errno == ELOOP || errno == ENOTDIR ? std::string("not a folder")
                : errno == EPERM                   ? std::string("not the user's own folder")
                                                   : systemError(errno)) +
               "); it stays");
    return;
  }
  // Never over an earlier rejected file of the same name.
  std::string target = name;
  struct stat st {};
  for (int copy = 1; ::fstatat(rejectedFd, target.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0; ++copy) {
    if (copy > kMaxRejectedCopies) {
      log(3, name + " can't be moved to " + rejected + ": too many of that name; it stays");
      ::close(rejectedFd);
      return;
    }
    target = name + "." + std::to_string(copy);
  }
  // The link itself moves, never what it points to.
  if (::renameat2(fromFd, name.c_str(), rejectedFd, target.c_str(), RENAME_NOREPLACE) != 0) {
    log(3, name + " can't be moved to " + rejected + " (" + systemError(errno) + "); it stays");
  } else if (!writeFileAt(rejectedFd, target + ".error", reason + "\n")) {
    log(2, "can't write " + rejected + target + ".error (" + systemError(errno) + ")");
  }
  ::close(rejectedFd);
}

void SpoolWatcher::setPool(Pool pool) { pool_ = std::move(pool); }

bool SpoolWatcher::startPool() {
  if (!makeFolder(pool_.folder) ||
      (poolFd_ = ::open(pool_.folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)) <
          0) {
    log(3, pool_.folder + " can't be used as the pool folder (" + systemError(errno) +
               "); no files are taken from the pool");
    return false;
  }
  struct stat pool {
  }, spool{};
  if (::fstat(poolFd_, &pool) == 0 && ::fstat(folderFd_, &spool) == 0 &&
      pool.st_dev == spool.st_dev && pool.st_ino == spool.st_ino) {
    log(3, pool_.folder +
               " is this instance's spool folder, not a pool; no files are taken from "
               "it as a pool");
    ::close(poolFd_);
    poolFd_ = -1;
    return false;
  }
  if (!poolTrusted()) {
    ::close(poolFd_);
    poolFd_ = -1;
    return false;
  }
  if ((poolWatch_ = ::inotify_add_watch(inotifyFd_, pool_.folder.c_str(), kEvents)) < 0) {
    log(3, "can't watch " + pool_.folder + " (" + systemError(errno) +
               "); no files are taken from the pool");
    ::close(poolFd_);
    poolFd_ = -1;
    return false;
  }
  log(0, "taking files from the pool " + pool_.folder);
  return true;
}

void SpoolWatcher::takeFromPool() {
  if (poolFd_ < 0 || stopping_ || !trusted() || !poolTrusted()) return;
  std::size_t room = pool_.room();
  if (room == 0) return;
  for (const std::string& name : namesIn(poolFd_)) {
    if (room == 0 || stopping_) return;
    struct stat st {};
    if (!isCandidate(name) || ::fstatat(poolFd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        S_ISDIR(st.st_mode)) {
      continue;
    }
    // One rename: whichever instance makes it has the file, the others find it gone.
    const std::string taken = pool::takenName(name);
    if (::renameat2(poolFd_, name.c_str(), folderFd_, taken.c_str(), RENAME_NOREPLACE) != 0) {
      if (errno == ENOENT) continue;
      const int error = errno;
      log(3, "can't take " + name + " from the pool (" + systemError(error) + ")" +
                 (error == EXDEV ? "; the pool must be on the spool's file system" : ""));
      return;
    }
    // No flush of the pool folder of its own: the outbox's flush that queues the messages
    // commits the rename with it on a journaling file system, and a flush per file halved the
    // rate of a pool on a disk.
    takeFile(taken, true);
    // The outbox can't take it now: the next files wait in the pool, not here.
    if (const auto waiting = pending_.find(taken);
        waiting != pending_.end() && waiting->second.saveFailed) {
      return;
    }
    room = pool_.room();
  }
}

}  // namespace parlane
