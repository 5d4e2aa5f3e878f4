#include "service/SpoolWatcher.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/ErrorText.h"
#include "core/util/FileIo.h"
#include "core/util/StringTable.h"
#include "core/util/Utf.h"
#include "service/RecipientCheck.h"
#include "service/SpoolFile.h"
#include "transport/message/MessageFlags.h"
#include "transport/message/PushMessage.h"
#include "transport/message/SMSMessage.h"
#include "transport/message/USSDRequest.h"

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

bool makeFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
    errno = ENOTDIR;
  }
  return false;
}

// The messages of a spool file, one per recipient, checked as the send dialog checks them.
// Empty, with `error` set, when one of them can't be sent.
std::vector<std::unique_ptr<GenericMessage>> messagesOf(const SpoolMessage& spooled,
                                                        const std::string& name,
                                                        const SettingsStore& settings,
                                                        std::string& error) {
  std::vector<std::unique_ptr<GenericMessage>> messages;
  const std::u16string text = fromUtf8(spooled.text);
  auto finish = [&](std::unique_ptr<GenericMessage> message) {
    if (spooled.ton) message->dstton = *spooled.ton;
    if (spooled.flash) message->flags |= messageFlags::kFlash;
    if (spooled.report) message->flags |= messageFlags::kReport;
    if (spooled.validity > 0) message->expiry = message->created + spooled.validity;
    // Who asks for the message can find it in the folders by its file name.
    message->custom = fromUtf8(name);
    messages.push_back(std::move(message));
  };
  if (spooled.ussd) {
    finish(std::make_unique<USSDRequest>(u"", u"", text));
    return messages;
  }
  for (const std::string& number : spooled.to) {
    std::unique_ptr<GenericMessage> message;
    if (spooled.url.empty()) {
      message = std::make_unique<SMSMessage>(u"", fromUtf8(number), text);
    } else {
      message = std::make_unique<PushMessage>(u"", fromUtf8(number), text, fromUtf8(spooled.url));
    }
    if (spooled.ton) message->dstton = *spooled.ton;
    const RecipientCheck check = checkRecipient(*message, settings);
    if (!check.accepted) {
      error = toUtf8(formatString(40196, {message->to}));
      return {};
    }
    if (!check.warning.empty()) Logger::log(1, check.warning);
    finish(std::move(message));
  }
  return messages;
}

}  // namespace

SpoolWatcher::SpoolWatcher(std::string folder, const SettingsStore& settings, Queue queue)
    : folder_(std::move(folder)), settings_(settings), queue_(std::move(queue)) {}

SpoolWatcher::~SpoolWatcher() {
  stop();
  join();
  if (inotifyFd_ >= 0) ::close(inotifyFd_);
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

std::string SpoolWatcher::folderFor(const std::string& dataFolder, int instance) {
  std::string folder = dataFolder + "/spool";
  if (instance > 0) folder += "." + std::to_string(instance);
  return folder;
}

bool SpoolWatcher::start() {
  if (thread_.joinable()) return true;
  if (!makeFolder(folder_)) {
    log(3, folder_ + " can't be used as the spool folder (" + systemError(errno) +
               "); no spool files are taken");
    return false;
  }
  if (!makeFolder(folder_ + "/" + kRejectedFolder)) {
    log(2, folder_ + "/" + kRejectedFolder + " can't be made (" + systemError(errno) +
               "); files that are refused stay where they are");
  }
  inotifyFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (inotifyFd_ < 0 || wakeFd_ < 0 ||
      ::inotify_add_watch(inotifyFd_, folder_.c_str(), kEvents) < 0) {
    log(3, "can't watch " + folder_ + " (" + systemError(errno) + "); no spool files are taken");
    return false;
  }
  // Watching first, then the files already there: none slips between the two.
  takeWaiting();
  thread_ = std::thread([this] { run(); });
  log(0, "watching " + folder_);
  return true;
}

void SpoolWatcher::stop() {
  if (wakeFd_ < 0) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

void SpoolWatcher::join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void SpoolWatcher::run() {
  for (;;) {
    pollfd fds[2] = {{inotifyFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      log(3,
          "waiting for files failed (" + systemError(errno) + "); no more spool files are taken");
      return;
    }
    if (fds[1].revents != 0) return;
    if (fds[0].revents != 0) readEvents();
  }
}

void SpoolWatcher::readEvents() {
  alignas(inotify_event) char buffer[16384];
  for (;;) {
    const ssize_t got = ::read(inotifyFd_, buffer, sizeof buffer);
    if (got <= 0) return;  // EAGAIN: all read
    std::vector<std::string> names;
    bool lost = false;
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->mask & IN_Q_OVERFLOW) lost = true;
      if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
        log(3, folder_ + " was removed or moved; no more spool files are taken until a restart");
      }
      if (event->len == 0 || (event->mask & IN_ISDIR)) continue;
      const std::string name(event->name);
      if (!isCandidate(name)) continue;
      // A new name only matters when it is a link (nothing else closes it); files are taken once
      // written.
      if (event->mask & IN_CREATE) {
        struct stat st {};
        if (::fstatat(AT_FDCWD, (folder_ + "/" + name).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISLNK(st.st_mode)) {
          continue;
        }
      }
      if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    if (lost) {
      log(2, "too many files at once; looking through the whole folder");
      takeWaiting();
      continue;
    }
    for (const std::string& name : names) takeFile(name);
  }
}

void SpoolWatcher::takeWaiting() {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder_, ec)) {
    const std::string name = entry.path().filename().string();
    std::error_code typeError;
    if (entry.is_directory(typeError) && !entry.is_symlink(typeError)) continue;
    if (isCandidate(name)) names.push_back(name);
  }
  if (ec) log(2, "can't list " + folder_ + " (" + ec.message() + ")");
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) takeFile(name);
}

void SpoolWatcher::takeFile(const std::string& name) {
  const std::string path = folder_ + "/" + name;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return;  // taken meanwhile, or renamed away
    reject(name, errno == ELOOP ? std::string("a symbolic link, not followed")
                                : "can't be opened: " + systemError(errno));
    return;
  }
  struct stat st {};
  std::optional<std::string> bytes;
  std::string refusal;
  if (::fstat(fd, &st) != 0) {
    refusal = "can't be read: " + systemError(errno);
  } else if (!S_ISREG(st.st_mode)) {
    refusal = "not a regular file";
  } else if (static_cast<std::uint64_t>(st.st_size) > kMaxSpoolFileBytes) {
    refusal = "larger than " + std::to_string(kMaxSpoolFileBytes) + " bytes (" +
              std::to_string(st.st_size) + ")";
  } else if (!(bytes = readWholeDescriptor(fd))) {
    refusal = "can't be read: " + systemError(errno);
  }
  ::close(fd);
  if (!refusal.empty()) {
    reject(name, refusal);
    return;
  }

  const SpoolParse parse = parseSpoolFile(*bytes);
  if (!parse.message) {
    reject(name, parse.error);
    return;
  }
  std::string error;
  const auto messages = messagesOf(*parse.message, name, settings_, error);
  if (messages.empty()) {
    reject(name, error.empty() ? std::string("no message") : error);
    return;
  }
  if (!queue_(messages)) {
    log(3, name + ": the outbox can't be saved; the file stays for the next attempt");
    return;
  }
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
    // Taken again at the next start: better twice than never.
    log(3, name + " is queued but can't be removed (" + systemError(errno) + ")");
  }
  log(0, name + ": " + std::to_string(messages.size()) + " message(s) queued");
}

void SpoolWatcher::reject(const std::string& name, const std::string& reason) {
  log(2, name + " rejected: " + reason);
  const std::string rejected = folder_ + "/" + kRejectedFolder + "/";
  // Never over an earlier rejected file of the same name.
  std::string target = name;
  struct stat st {};
  for (int copy = 1; ::lstat((rejected + target).c_str(), &st) == 0; ++copy) {
    if (copy > kMaxRejectedCopies) {
      log(3, name + " can't be moved to " + rejected + ": too many of that name; it stays");
      return;
    }
    target = name + "." + std::to_string(copy);
  }
  // The link itself moves, never what it points to.
  if (::rename((folder_ + "/" + name).c_str(), (rejected + target).c_str()) != 0) {
    log(3, name + " can't be moved to " + rejected + " (" + systemError(errno) + "); it stays");
    return;
  }
  if (!writeFileAtomically(rejected + target + ".error", reason + "\n")) {
    log(2, "can't write " + rejected + target + ".error (" + systemError(errno) + ")");
  }
}

}  // namespace parlane
