#include "service/PoolReturn.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "core/log/Logger.h"
#include "core/util/ErrorText.h"
#include "core/util/FileIo.h"
#include "core/util/Utf.h"
#include "message/GenericMessage.h"
#include "message/MessageFlags.h"
#include "service/OutboxDispatcher.h"
#include "service/PoolNames.h"
#include "service/SpoolFile.h"
#include "storage/FolderSchema.h"
#include "storage/GenericDatabase.h"
#include "storage/MessageRecords.h"
#include "storage/MessageStores.h"

namespace parlane {

namespace {

void log(int level, const std::string& text) { Logger::log(level, "Pool: " + text); }

std::string systemError(int errnum) { return toUtf8(errorText(errnum)); }

std::vector<std::string> namesIn(int folderFd) {
  std::vector<std::string> names;
  const int fd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return names;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return names;
  }
  while (const dirent* entry = ::readdir(dir)) names.emplace_back(entry->d_name);
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

int openFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return -1;
  return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

bool writeHidden(int folderFd, const std::string& name, const std::string& bytes) {
  const int fd =
      ::openat(folderFd, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool written = writeAllBytes(fd, bytes) && ::fsync(fd) == 0;
  written = ::close(fd) == 0 && written;
  if (!written) ::unlinkat(folderFd, name.c_str(), 0);
  return written;
}

std::u16string customOf(const DatabaseRecord& record, StoreKind kind) {
  const int at = columnIndex(kind, u"custom");
  return at >= 0 && static_cast<std::size_t>(at) < record.size()
             ? record[static_cast<std::size_t>(at)]
             : std::u16string();
}

}  // namespace

PoolReturn::PoolReturn(std::string folder, int instance, GenericDatabase& outbox,
                       OutboxDispatcher& dispatcher)
    : folder_(std::move(folder)), instance_(instance), outbox_(outbox), dispatcher_(dispatcher) {}

std::optional<std::string> PoolReturn::spoolText(const DatabaseRecord& record) {
  const std::unique_ptr<GenericMessage> message = messageFromRecord(record, StoreKind::Outbox);
  if (!message) return std::nullopt;
  SpoolMessage spooled;
  spooled.ussd = message->kind() == MessageKind::Ussd;
  if (!spooled.ussd) spooled.to = {toUtf8(message->to)};
  spooled.url = toUtf8(message->getUrl());
  spooled.text = toUtf8(message->content);
  spooled.flash = (message->flags & messageFlags::kFlash) != 0;
  spooled.report = (message->flags & messageFlags::kReport) != 0;
  spooled.ton = message->dstton;
  const auto validity = static_cast<std::int64_t>(message->expiry) - message->created;
  if (validity > 0) {
    spooled.validity =
        static_cast<std::int32_t>(std::min<std::int64_t>(validity, kMaxSpoolValidity));
  }
  // The instance that takes it next holds it back and gives it up as this one would have.
  if (message->notBefore > 0) spooled.sendAfter = message->notBefore;
  if (message->expires > 0) spooled.expires = message->expires;
  if (checkSpoolMessage(spooled)) return std::nullopt;
  return formatSpoolFile(spooled);
}

bool PoolReturn::queuedUnder(MessageStores& stores, const std::string& takenName) {
  const std::u16string custom = fromUtf8(takenName);
  for (StoreKind kind : {StoreKind::Outbox, StoreKind::Sent, StoreKind::Failed}) {
    DatabaseRecord found;
    const auto column = static_cast<unsigned>(columnIndex(kind, u"custom"));
    if (stores.store(kind).findLastEqual(
            column, custom, [](const DatabaseRecord&) { return true; }, found)) {
      return true;
    }
  }
  return false;
}

void PoolReturn::recover() {
  const int folderFd = openFolder(folder_);
  if (folderFd < 0) return;
  for (const std::string& name : namesIn(folderFd)) {
    const std::optional<pool::ReturnParts> parts = pool::parseReturnName(name);
    if (!parts || parts->instance != instance_) continue;
    DatabaseRecord record;
    if (outbox_.get(parts->recordId, record)) {
      // The stop came before the record left the outbox: it is sent from here.
      ::unlinkat(folderFd, name.c_str(), 0);
    } else if (reveal(folderFd, name, parts->name, parts->recordId)) {
      log(1, parts->name + " went back to the pool after the stop cut its return short");
    }
  }
  ::close(folderFd);
}

std::size_t PoolReturn::giveBack() {
  std::vector<DatabaseRecord> taken;
  for (DatabaseRecord& record : outbox_.selectNotEqual(0, u"", 0)) {
    if (!record.empty() && pool::isTaken(toUtf8(customOf(record, StoreKind::Outbox)))) {
      taken.push_back(std::move(record));
    }
  }
  if (taken.empty()) return 0;
  const int folderFd = openFolder(folder_);
  if (folderFd < 0) {
    log(3, "can't give messages back to " + folder_ + " (" + systemError(errno) + ")");
    return 0;
  }
  std::size_t given = 0;
  for (const DatabaseRecord& record : taken) {
    const std::u16string& id = record[0];
    const std::string name = pool::originalName(toUtf8(customOf(record, StoreKind::Outbox)));
    const std::optional<std::string> text = spoolText(record);
    if (!text) {
      log(2, "record " + toUtf8(id) + " can't be written as a spool file; it stays");
      continue;
    }
    const std::string hidden = pool::returnName(instance_, id, name);
    if (!writeHidden(folderFd, hidden, *text)) {
      log(3, "can't write " + folder_ + "/" + hidden + " (" + systemError(errno) + ")");
      break;
    }
    // Out of the outbox for good before the file shows in the pool; the one in flight stays.
    if (!dispatcher_.removeQueued(id)) {
      ::unlinkat(folderFd, hidden.c_str(), 0);
      continue;
    }
    if (reveal(folderFd, hidden, name, id)) ++given;
  }
  ::fsync(folderFd);
  ::close(folderFd);
  if (given > 0) {
    log(1, std::to_string(given) + " message(s) went back to the pool: the modem has been away");
  }
  return given;
}

bool PoolReturn::reveal(int folderFd, const std::string& hidden, const std::string& name,
                        const std::u16string& recordId) {
  std::string target = name;
  if (::renameat2(folderFd, hidden.c_str(), folderFd, target.c_str(), RENAME_NOREPLACE) != 0 &&
      errno == EEXIST) {
    target = name + "." + toUtf8(recordId);
    ::renameat2(folderFd, hidden.c_str(), folderFd, target.c_str(), RENAME_NOREPLACE);
  }
  struct stat st {};
  if (::fstatat(folderFd, hidden.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    log(3, "can't rename " + hidden + " in " + folder_ + " (" + systemError(errno) +
               "); the message waits there under that name");
    return false;
  }
  ::fsync(folderFd);
  return true;
}

}  // namespace parlane
