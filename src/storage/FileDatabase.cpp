#include "storage/FileDatabase.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/Environment.h"
#include "core/util/FileIo.h"
#include "core/util/HexDigit.h"
#include "core/util/LineSplitter.h"
#include "core/util/Utf.h"
#include "storage/CaseInsensitiveText.h"
#include "storage/FolderJournal.h"
#include "storage/StaleTemporaryFiles.h"

namespace parlane {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// A journal is folded into its file once it passes half the file's size, and never below this:
// the rewrite it costs is spread over the many changes that made the journal that long.
constexpr std::uint64_t kJournalFloor = 1 << 20;

std::u16string columnKey(const std::u16string& name, size_t index) {
  return name + u".columns." + fromAscii(std::to_string(index));
}

// The key read as "%08x": up to eight hexadecimal digits after leading blanks.
bool parseHexKey(std::string_view key, std::int64_t& value) {
  size_t i = 0;
  while (i < key.size() && (key[i] == ' ' || (key[i] >= '\t' && key[i] <= '\r'))) ++i;
  std::int64_t result = 0;
  size_t digits = 0;
  for (; i < key.size() && digits < 8; ++i, ++digits) {
    const int nibble = hexDigitValue(static_cast<unsigned char>(key[i]));
    if (nibble < 0) break;
    result = result * 16 + nibble;
  }
  if (digits == 0) return false;
  value = result;
  return true;
}

// The field tests of the searches, all ignoring case.
std::function<bool(std::string_view)> notEqualTo(std::u16string_view value) {
  return [wanted = CaseInsensitiveText(value)](std::string_view field) {
    return !wanted.equals(field);
  };
}

std::function<bool(std::string_view)> containing(std::u16string_view text) {
  return [wanted = CaseInsensitiveText(text)](std::string_view field) {
    return wanted.containedIn(field);
  };
}

std::function<bool(std::string_view)> notContaining(std::u16string_view text) {
  return [wanted = CaseInsensitiveText(text)](std::string_view field) {
    return !wanted.containedIn(field);
  };
}

int parseDecimal(std::string_view utf8Field) {
  return SettingsStore::parseInt(fromUtf8(utf8Field));
}

std::string hexKey(std::uint32_t id) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", id);
  return text;
}

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The lines of a ".rejected" file (each written with CR LF).
std::unordered_set<std::string_view> linesOf(std::string_view text) {
  std::unordered_set<std::string_view> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.insert(line);
    start = end + 1;
  }
  return lines;
}

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A file just made or removed outlasts a power cut only once its folder is flushed too.
void syncFolderOf(const std::string& path) {
  const int dir = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  ::fsync(dir);
  ::close(dir);
}

}  // namespace

std::string FileDatabase::paddedLine(std::string_view line) const {
  size_t fields = 1;
  for (size_t at = line.find(separatorUtf8_); at != std::string_view::npos;
       at = line.find(separatorUtf8_, at + separatorUtf8_.size())) {
    ++fields;
  }
  std::string padded(line);
  for (size_t i = fields; i < columns_.size(); ++i) padded += separatorUtf8_;
  return padded;
}

bool FileDatabase::journalContainedIn(const JournalContents& contents,
                                      const RecordMap& records) const {
  std::map<std::string_view, const JournalChange*> last;
  for (const JournalBatch& batch : contents.batches) {
    for (const JournalChange& change : batch.changes) {
      last[change.removal ? std::string_view(change.text) : fieldOf(change.text, keyIndex_)] =
          &change;
    }
  }
  for (const auto& [key, change] : last) {
    const auto found = records.find(key);
    if (change->removal ? found != records.end()
                        : found == records.end() || found->second != paddedLine(change->text)) {
      return false;
    }
  }
  return true;
}

FileDatabase::FileDatabase(std::u16string name, SettingsStore& settings,
                           const std::string& baseFolder)
    : GenericDatabase(std::move(name), settings) {
  std::string file = expandEnvironment(toUtf8(settings_.getString(name_ + u".filename")));
  if (!file.empty() && file.front() != '/' && !baseFolder.empty()) {
    file = baseFolder + "/" + file;
  }
  path_ = std::move(file);
  limit_ = static_cast<unsigned>(std::max(0, settings_.getInt(name_ + u".maxrecords")));
  keyIndex_ = static_cast<unsigned>(std::max(0, settings_.getInt(name_ + u".index")));
  for (size_t i = 0;; ++i) {
    std::u16string column = settings_.getString(columnKey(name_, i));
    if (column.empty()) break;
    columns_.push_back(std::move(column));
  }
  const std::u16string separator = settings_.getString(name_ + u".separator");
  if (!separator.empty()) separator_ = separator.front();
  // A line break or half a surrogate pair can't separate fields on a line.
  if (separator_ == u'\r' || separator_ == u'\n' || separator_ == 0 || isSurrogate(separator_)) {
    separator_ = u'\t';
  }
  separatorUtf8_ = toUtf8(std::u16string_view(&separator_, 1));
}

FileDatabase::~FileDatabase() {
  if (lockFd_ >= 0) ::close(lockFd_);
}

std::int32_t FileDatabase::NextId() {
  std::lock_guard lock(mutex_);
  std::int32_t id = nextId_;
  // An id already in use (a key typed into the file, or the counter wrapping after an id near the
  // top of the range) is passed over: Put would replace that record without a word.
  for (size_t tries = 0; tries <= records_.size(); ++tries) {
    id = nextId_;
    nextId_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(nextId_) + 1u);
    if (records_.find(hexKey(static_cast<std::uint32_t>(id))) == records_.end()) break;
  }
  settings_.setInt(name_ + u".id", nextId_);
  return id;
}

std::int32_t FileDatabase::peekNextId() const {
  std::lock_guard lock(mutex_);
  return nextId_;
}

std::vector<std::u16string> FileDatabase::keys() const {
  std::vector<std::u16string> result;
  std::lock_guard lock(mutex_);
  result.reserve(records_.size());
  for (const auto& entry : records_) result.push_back(fromUtf8(entry.first));
  return result;
}

std::string_view FileDatabase::fieldOf(std::string_view line, unsigned column) const {
  if (separatorUtf8_.size() == 1) {
    const char separator = separatorUtf8_.front();
    size_t start = 0;
    for (unsigned i = 0; i < column; ++i) {
      const size_t at = line.find(separator, start);
      if (at == std::string_view::npos) return {};
      start = at + 1;
    }
    const size_t end = line.find(separator, start);
    return line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
  }
  size_t start = 0;
  for (unsigned i = 0; i < column; ++i) {
    const size_t at = line.find(separatorUtf8_, start);
    if (at == std::string_view::npos) return {};
    start = at + separatorUtf8_.size();
  }
  const size_t end = line.find(separatorUtf8_, start);
  return line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

std::string FileDatabase::keyOf(std::string_view line) const {
  if (keyIndex_ >= columns_.size()) return {};
  return std::string(fieldOf(line, keyIndex_));
}

DatabaseRecord FileDatabase::toRecord(std::string_view line) const {
  DatabaseRecord record;
  record.reserve(columns_.size());
  size_t start = 0;
  for (;;) {
    const size_t at = line.find(separatorUtf8_, start);
    record.emplace_back();
    appendUtf16(
        line.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start),
        record.back());
    if (at == std::string_view::npos) break;
    start = at + separatorUtf8_.size();
  }
  record.resize(columns_.size());
  return record;
}

std::string FileDatabase::toLine(const DatabaseRecord& record) const {
  std::string line;
  std::u16string field;
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (i > 0) line += separatorUtf8_;
    if (i >= record.size()) continue;
    // A separator or line break inside a field would split the record on the next load.
    field = record[i];
    std::replace_if(
        field.begin(), field.end(),
        [this](char16_t c) { return c == separator_ || c == u'\r' || c == u'\n'; }, u' ');
    line += toUtf8(field);
  }
  return line;
}

void FileDatabase::parse(std::string_view bytes, RecordMap& records, std::int64_t& largestId,
                         Rejected& rejected) const {
  // An editor's byte-order mark is not part of the first key (nor does it hide a comment).
  if (bytes.starts_with(kByteOrderMark)) bytes.remove_prefix(kByteOrderMark.size());
  std::string repairedText;
  LineSplitter lines(bytes);
  std::string_view line;
  while (lines.next(line)) {
    const bool lastWithoutLineEnd = !lines.endedByLineFeed();
    const bool endsInCarriageReturn = lines.rawLine().size() != line.size();
    if (line.empty() || line.front() == '#') continue;

    std::string_view text = line;
    bool keepOriginal = false;
    if (!isValidUtf8(line)) {
      repairedText = toUtf8(fromUtf8(line));
      text = repairedText;
      keepOriginal = true;
    }
    size_t fields = 1;
    for (size_t at = text.find(separatorUtf8_); at != std::string_view::npos;
         at = text.find(separatorUtf8_, at + separatorUtf8_.size())) {
      ++fields;
    }
    if (fields > columns_.size()) {
      rejected.lines.emplace_back(line);
      ++rejected.skipped;
      continue;
    }
    // A last line with no line end and fields missing is what a crash during an append leaves
    // (a cut between CR and LF lost nothing). Padded, it would be half a record: in the outbox a
    // message that goes out with its text cut off.
    if (lastWithoutLineEnd && !endsInCarriageReturn && fields < columns_.size()) {
      rejected.lines.emplace_back(line);
      ++rejected.cut;
      continue;
    }
    if (keepOriginal) {
      rejected.lines.emplace_back(line);
      ++rejected.repaired;
    }
    std::string stored;
    stored.reserve(text.size() + (columns_.size() - fields) * separatorUtf8_.size());
    stored.append(text);
    for (size_t i = fields; i < columns_.size(); ++i) stored += separatorUtf8_;

    std::string key = keyOf(stored);
    std::int64_t id;
    if (parseHexKey(key, id)) largestId = std::max(largestId, id);
    // Files are written in key order, so the end is nearly always the right place.
    if (records.empty() || utf16Less(std::prev(records.end())->first, key)) {
      records.emplace_hint(records.end(), std::move(key), std::move(stored));
    } else if (auto [at, added] = records.try_emplace(std::move(key), std::move(stored)); !added) {
      // A repeated key replaces the earlier line; keep the earlier one unless it is the same.
      if (at->second != stored) {
        rejected.lines.push_back(at->second);
        ++rejected.skipped;
      }
      at->second = std::move(stored);
    }
  }
}

void FileDatabase::keepRejected(const Rejected& rejected) const {
  if (rejected.lines.empty()) return;
  const std::string rejectedPath = path_ + ".rejected";
  // Each line is kept once: a file loaded again before a save took the lines out of it (a crash,
  // a second start) must not add them again.
  const std::optional<std::string> existing = readWholeFile(rejectedPath);
  std::unordered_set<std::string_view> known =
      existing ? linesOf(*existing) : std::unordered_set<std::string_view>();
  std::string added;
  for (const std::string& line : rejected.lines) {
    if (known.insert(line).second) added.append(line).append(kLineEnd);
  }
  const bool kept = added.empty() || appendToFile(rejectedPath, added, kPrivateFileMode);
  std::string note = "Folder file " + path_ + ": " + std::to_string(rejected.skipped) +
                     " line(s) skipped or replaced by a later one, " +
                     std::to_string(rejected.repaired) + " line(s) with invalid UTF-8 repaired, " +
                     std::to_string(rejected.cut) + " line(s) cut short at the end set aside; ";
  note += kept ? "the original lines are kept in " + rejectedPath
               : "can't keep the original lines in " + rejectedPath + ": " + std::strerror(errno);
  Logger::log(2, note);
}

int FileDatabase::lockFileLocked(bool create) {
  // The file may be replaced between opening and locking it (another database's rewrite): the
  // lock must be on the file the path names, so look again until both agree.
  for (int attempt = 0; attempt < 8; ++attempt) {
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (create ? O_CREAT : 0);
    const int fd = ::open(path_.c_str(), flags, static_cast<mode_t>(kPrivateFileMode));
    if (fd < 0) return -1;
    struct stat st {};
    int error = 0;
    if (::fstat(fd, &st) != 0) {
      error = errno;
    } else if (!S_ISREG(st.st_mode)) {
      error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    }
    struct stat held {};
    if (error == 0 && lockFd_ >= 0 && ::fstat(lockFd_, &held) == 0 && sameFile(held, st)) {
      ::close(fd);
      return 0;
    }
    if (error == 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) error = errno;
    if (error != 0) {
      ::close(fd);
      errno = error;
      return -1;
    }
    struct stat named {};
    if (::stat(path_.c_str(), &named) != 0 || !sameFile(named, st)) {
      ::close(fd);
      continue;
    }
    if (lockFd_ >= 0) ::close(lockFd_);
    lockFd_ = fd;
    return 0;
  }
  errno = EAGAIN;
  return -1;
}

int FileDatabase::Load(bool resetIds) {
  std::lock_guard lock(mutex_);
  if (columns_.empty()) {
    // Without columns every line would be dropped.
    errno = EINVAL;
    return -1;
  }
  std::optional<std::string> bytes;
  if (lockFileLocked(false) == 0) bytes = readWholeDescriptor(lockFd_);
  if (!bytes) {
    // A file that exists but can't be read (or is another's) must never be rewritten from here.
    const int error = errno;
    unreadable_ = error != ENOENT;
    errno = error;
    return -1;
  }
  removeStaleTemporaryFiles(path_);
  RecordMap records;
  std::int64_t largestId = 0;
  Rejected rejected;
  parse(*bytes, records, largestId, rejected);
  const bool journalApplied = applyJournal(*bytes, records, largestId);
  bytes.reset();
  indexes_.clear();
  records_.swap(records);
  revision_.fetch_add(1, std::memory_order_release);
  pending_.clear();
  journalPending_.clear();
  // linesOf set aside leave the file with the next save, so that later loads don't meet them again
  // and no append glues a record onto a cut one.
  clean_ = rejected.lines.empty() && journalApplied;
  unreadable_ = false;
  // Ids are eight hexadecimal digits: past ffffffff they start again from the bottom.
  if (resetIds) nextId_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(largestId + 2));
  keepRejected(rejected);
  return 0;
}

int FileDatabase::Flush() { return Save(); }

int FileDatabase::Truncate() {
  std::lock_guard lock(mutex_);
  // Replaced only while this database holds the file's lock; a missing file is made for that.
  int locked = -1;
  if (lockFileLocked(true) != 0 ||
      !writeFileAtomically(path_, std::string_view(), kPrivateFileMode, &locked)) {
    return -1;
  }
  ::close(lockFd_);
  lockFd_ = locked;
  dropJournalLocked();
  pending_.clear();
  journalPending_.clear();
  clean_ = records_.empty();
  unreadable_ = false;
  return 0;
}

int FileDatabase::Save() {
  std::lock_guard lock(mutex_);
  if (clean_ && pending_.empty() && journalPending_.empty()) return 0;
  if (!clean_) return rewriteLocked();
  bool journal = !journalPending_.empty();
  for (size_t i = 0; i < pending_.size() && !journal; ++i)
    journal = journaled_.contains(pending_[i]);
  return journal ? journalLocked() : appendLocked();
}

int FileDatabase::Compact() {
  std::lock_guard lock(mutex_);
  if (clean_ && pending_.empty() && journalPending_.empty() && journalBytes_ == 0) return 0;
  return rewriteLocked();
}

int FileDatabase::rewriteLocked() {
  if (unreadable_) {
    Logger::log(3, "Folder file " + path_ +
                       " could not be read when loaded; it is not rewritten, so that nothing in "
                       "it is lost");
    errno = EACCES;
    return -1;
  }
  // Another database holding the file keeps it; a missing file is simply written.
  if (lockFileLocked(false) != 0 && errno != ENOENT) return -1;
  size_t size = 0;
  for (const auto& entry : records_) size += entry.second.size() + kLineEnd.size();
  std::string buffer;
  buffer.reserve(size);
  for (const auto& entry : records_) buffer.append(entry.second).append(kLineEnd);
  int locked = -1;
  if (!writeFileAtomically(path_, buffer, kPrivateFileMode, &locked)) return -1;
  if (lockFd_ >= 0) ::close(lockFd_);
  lockFd_ = locked;
  dropJournalLocked();
  pending_.clear();
  journalPending_.clear();
  clean_ = true;
  return 0;
}

void FileDatabase::dropJournalLocked() {
  const std::string journal = journalPath();
  // The new file holds what the journal did; left behind (a crash just now), the journal no
  // longer matches the file and is set aside at the next load.
  if (::unlink(journal.c_str()) == 0) syncFolderOf(journal);
  journalBytes_ = 0;
  journaled_.clear();
}

int FileDatabase::journalLocked() {
  // Without a file to bind the journal to, memory is written whole.
  if (unreadable_) return rewriteLocked();
  if (lockFileLocked(false) != 0) return errno == ENOENT ? rewriteLocked() : -1;
  struct stat st {};
  if (::fstat(lockFd_, &st) != 0) return -1;
  const auto size = static_cast<std::uint64_t>(st.st_size);
  std::string tail(static_cast<size_t>(std::min<std::uint64_t>(size, kJournalTailBytes)), '\0');
  if (!tail.empty() &&
      ::pread(lockFd_, tail.data(), tail.size(), static_cast<off_t>(size - tail.size())) !=
          static_cast<ssize_t>(tail.size())) {
    if (errno == 0) errno = EIO;
    return -1;
  }
  // One batch for the whole save: new records and changes land together or not at all.
  std::set<std::string> keys(journalPending_);
  keys.insert(pending_.begin(), pending_.end());
  std::string batch = journalBytes_ == 0 ? journalHeader() : std::string();
  for (const std::string& key : keys) {
    const auto found = records_.find(key);
    if (found != records_.end()) {
      appendJournalPut(batch, found->second);
    } else {
      appendJournalRemoval(batch, key);
    }
  }
  appendJournalCommit(batch, keys.size(),
                      {size, static_cast<std::uint64_t>(st.st_ino), journalTailHash(tail)});

  const std::string journal = journalPath();
  const bool fresh = journalBytes_ == 0;
  // A fresh journal replaces whatever an unmatched one left; an old one grows at its end.
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | (fresh ? O_TRUNC : O_APPEND);
  const int fd = ::open(journal.c_str(), flags, static_cast<mode_t>(kPrivateFileMode));
  if (fd < 0) return -1;
  const bool ok = writeAllBytes(fd, batch) && ::fsync(fd) == 0;
  const int error = errno;
  if (!ok) {
    // A batch cut short is dropped by the next load; take it back now all the same, so that the
    // retry's batch follows whole ones only.
    [[maybe_unused]] const int undone = ::ftruncate(fd, static_cast<off_t>(journalBytes_));
  }
  ::close(fd);
  if (!ok) {
    errno = error;
    return -1;
  }
  if (fresh) syncFolderOf(journal);
  journalBytes_ += batch.size();
  journaled_.insert(keys.begin(), keys.end());
  pending_.clear();
  journalPending_.clear();
  if (journalBytes_ > std::max(kJournalFloor, size / 2) && rewriteLocked() != 0) {
    // The journal holds every change safely; folding it in waits for the next save.
    Logger::log(2, "Folder file " + path_ +
                       ": can't write the journal into the file: " + std::strerror(errno));
  }
  return 0;
}

bool FileDatabase::applyJournal(std::string_view file, RecordMap& records,
                                std::int64_t& largestId) {
  journalBytes_ = 0;
  journaled_.clear();
  const std::string journal = journalPath();
  const std::optional<std::string> bytes = readWholeFile(journal);
  if (!bytes) return true;
  const JournalContents contents = parseJournal(*bytes);
  struct stat st {};
  const bool statted = lockFd_ >= 0 && ::fstat(lockFd_, &st) == 0;
  if (!contents.batches.empty()) {
    const JournalBinding& last = contents.batches.back().binding;
    const bool matches = statted && last.inode == static_cast<std::uint64_t>(st.st_ino) &&
                         last.size <= file.size() &&
                         last.tailHash == journalTailHash(file.substr(0, last.size));
    if (!matches && journalContainedIn(contents, records)) {
      // A compaction wrote it into the file and a crash kept it from removing the journal.
      ::unlink(journal.c_str());
      return true;
    }
    if (!matches) {
      // The file was replaced after these changes were made (by another program, or by a
      // rewrite that a crash kept from removing the journal): they don't belong to it.
      const std::string aside = journal + ".unmatched";
      const bool kept = ::rename(journal.c_str(), aside.c_str()) == 0;
      Logger::log(
          3, "Folder file " + path_ + " was replaced since its journal " + journal +
                 " was written: the journal's " + std::to_string(contents.batches.size()) +
                 " change(s) are not applied to it; " +
                 (kept ? "the journal is kept as " + aside
                       : "the journal is left as it is: " + std::string(std::strerror(errno))));
      return true;
    }
  }
  size_t skipped = contents.malformedLines;
  for (const JournalBatch& batch : contents.batches) {
    for (const JournalChange& change : batch.changes) {
      if (change.removal) {
        records.erase(change.text);
        journaled_.insert(change.text);
        continue;
      }
      size_t fields = 1;
      for (size_t at = change.text.find(separatorUtf8_); at != std::string::npos;
           at = change.text.find(separatorUtf8_, at + separatorUtf8_.size())) {
        ++fields;
      }
      if (fields > columns_.size() || !isValidUtf8(change.text)) {
        ++skipped;
        continue;
      }
      std::string stored = paddedLine(change.text);
      std::string key = keyOf(stored);
      std::int64_t id;
      if (parseHexKey(key, id)) largestId = std::max(largestId, id);
      journaled_.insert(key);
      records.insert_or_assign(std::move(key), std::move(stored));
    }
  }
  if (skipped > 0) {
    Logger::log(2, "Folder journal " + journal + ": " + std::to_string(skipped) +
                       " malformed line(s) skipped");
  }
  journalBytes_ = contents.committedLength;
  if (contents.committedLength < bytes->size()) {
    // What follows the last whole batch is a save a crash cut short: it never returned, so
    // nothing in it was confirmed. The next batch goes in its place.
    Logger::log(2, "Folder journal " + journal + ": an unfinished change at its end dropped (" +
                       std::to_string(bytes->size() - contents.committedLength) + " bytes)");
    // Unable to cut it, the next save writes the folder whole instead of appending after it.
    if (::truncate(journal.c_str(), static_cast<off_t>(contents.committedLength)) != 0) {
      return false;
    }
  }
  return true;
}

int FileDatabase::appendLocked() {
  if (lockFileLocked(false) != 0) {
    // The file went away: memory holds everything, so write it whole.
    if (errno == ENOENT) return rewriteLocked();
    return -1;
  }
  const int fd = ::open(path_.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return rewriteLocked();
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int error = S_ISDIR(st.st_mode) ? EISDIR : (errno != 0 ? errno : EINVAL);
    ::close(fd);
    errno = error;
    return -1;
  }
  // The records are private messages: a file made readable to others is put right when written.
  if ((st.st_mode & 077) != 0) ::fchmod(fd, static_cast<mode_t>(kPrivateFileMode));
  std::string buffer;
  if (st.st_size > 0) {
    // A write cut short leaves a broken last line: never glue a new record onto it. When only
    // the LF is missing, adding CR LF would leave a CR in that record's last field.
    char last = '\n';
    if (::pread(fd, &last, 1, st.st_size - 1) == 1) {
      if (last == '\r') {
        buffer += '\n';
      } else if (last != '\n') {
        buffer.append(kLineEnd);
      }
    }
  }
  for (const std::string& key : pending_) {
    const auto found = records_.find(key);
    if (found != records_.end()) buffer.append(found->second).append(kLineEnd);
  }
  const bool ok = writeAllBytes(fd, buffer) && ::fsync(fd) == 0;
  const int error = errno;
  if (!ok) {
    // Take a partial append back, so that the retry doesn't follow half a record.
    [[maybe_unused]] const int undone = ::ftruncate(fd, st.st_size);
  }
  ::close(fd);
  if (!ok) {
    errno = error;
    return -1;
  }
  pending_.clear();
  clean_ = true;
  return 0;
}

bool FileDatabase::Get(std::u16string_view key, DatabaseRecord& out) const {
  const std::string utf8Key = toUtf8(key);
  std::lock_guard lock(mutex_);
  const auto found = records_.find(utf8Key);
  if (found == records_.end()) return false;
  out = toRecord(found->second);
  return true;
}

void FileDatabase::PutOwned(std::unique_ptr<DatabaseRecord> record) {
  if (record) Put(*record);
}

void FileDatabase::Put(const DatabaseRecord& record) {
  std::string line = toLine(record);
  std::lock_guard lock(mutex_);
  storeLocked(std::move(line));
  trimLocked();
}

void FileDatabase::storeLocked(std::string line) {
  revision_.fetch_add(1, std::memory_order_release);
  std::string key = keyOf(line);
  const auto found = records_.find(key);
  if (found != records_.end()) {
    journalPending_.insert(key);
    unindexLocked(found);
    found->second = std::move(line);
    indexLocked(found);
    return;
  }
  pending_.push_back(key);
  indexLocked(records_.emplace(std::move(key), std::move(line)).first);
}

void FileDatabase::trimLocked() {
  if (limit_ == 0) return;
  while (records_.size() > limit_) eraseLocked(records_.begin());
}

void FileDatabase::eraseLocked(RecordMap::iterator at) {
  journalPending_.insert(at->first);
  unindexLocked(at);
  records_.erase(at);
}

void FileDatabase::Remove(std::u16string_view key) {
  const std::string utf8Key = toUtf8(key);
  std::lock_guard lock(mutex_);
  const auto found = records_.find(utf8Key);
  if (found == records_.end()) return;
  eraseLocked(found);
  revision_.fetch_add(1, std::memory_order_release);
}

void FileDatabase::Clear() {
  std::lock_guard lock(mutex_);
  indexes_.clear();
  records_.clear();
  revision_.fetch_add(1, std::memory_order_release);
  pending_.clear();
  journalPending_.clear();
  clean_ = false;
}

void FileDatabase::indexLocked(RecordMap::const_iterator at) {
  for (auto& [column, index] : indexes_) {
    index[foldedText(fieldOf(at->second, column))].insert(at);
  }
}

void FileDatabase::unindexLocked(RecordMap::const_iterator at) {
  for (auto& [column, index] : indexes_) {
    const auto found = index.find(foldedText(fieldOf(at->second, column)));
    if (found == index.end()) continue;
    found->second.erase(at);
    if (found->second.empty()) index.erase(found);
  }
}

const FileDatabase::KeySet* FileDatabase::equalKeysLocked(unsigned column,
                                                          std::u16string_view value) const {
  auto [at, made] = indexes_.try_emplace(column);
  ColumnIndex& index = at->second;
  if (made) {
    for (auto entry = records_.cbegin(); entry != records_.cend(); ++entry) {
      KeySet& keys = index[foldedText(fieldOf(entry->second, column))];
      keys.emplace_hint(keys.end(), entry);
    }
  }
  const auto found = index.find(foldedText(value));
  return found == index.end() ? nullptr : &found->second;
}

bool FileDatabase::Last(DatabaseRecord& out) const {
  std::lock_guard lock(mutex_);
  if (records_.empty()) return false;
  out = toRecord(records_.rbegin()->second);
  return true;
}

std::size_t FileDatabase::Count() const {
  std::lock_guard lock(mutex_);
  return records_.size();
}

std::vector<DatabaseRecord> FileDatabase::select(unsigned column, const FieldTest& test,
                                                 int limit) const {
  std::vector<DatabaseRecord> result;
  std::lock_guard lock(mutex_);
  // Every record has one field per column: a column past them ends the search at once.
  if (column >= columns_.size()) return result;
  for (const auto& entry : records_) {
    if (!test(fieldOf(entry.second, column))) continue;
    result.push_back(toRecord(entry.second));
    if (limit >= 1 && result.size() >= static_cast<size_t>(limit)) break;
  }
  return result;
}

bool FileDatabase::findFirst(unsigned column, const FieldTest& test, DatabaseRecord& out) const {
  std::vector<DatabaseRecord> found = select(column, test, 1);
  if (found.empty()) return false;
  out = std::move(found.front());
  return true;
}

std::vector<DatabaseRecord> FileDatabase::SelectMatchingAll(
    const std::vector<unsigned>& columns, const std::vector<std::u16string>& values,
    int limit) const {
  std::vector<DatabaseRecord> result;
  if (columns.size() != values.size()) return result;
  std::vector<CaseInsensitiveText> wanted;
  wanted.reserve(values.size());
  for (const auto& value : values) wanted.emplace_back(value);
  std::lock_guard lock(mutex_);
  for (unsigned column : columns) {
    if (column >= columns_.size()) return result;
  }
  const auto matches = [&](const std::string& line) {
    for (size_t i = 1; i < columns.size(); ++i) {
      if (!wanted[i].equals(fieldOf(line, columns[i]))) return false;
    }
    return true;
  };
  const auto take = [&](const std::string& line) {
    if (matches(line)) result.push_back(toRecord(line));
    return limit >= 1 && result.size() >= static_cast<size_t>(limit);
  };
  if (columns.empty()) {
    for (const auto& entry : records_) {
      if (take(entry.second)) break;
    }
    return result;
  }
  // The first column's index narrows the search to the records equal in it.
  const KeySet* keys = equalKeysLocked(columns.front(), values.front());
  if (keys == nullptr) return result;
  for (const auto& entry : *keys) {
    if (take(entry->second)) break;
  }
  return result;
}

std::vector<DatabaseRecord> FileDatabase::SelectEqual(unsigned column, std::u16string_view value,
                                                      int limit) const {
  std::vector<DatabaseRecord> result;
  std::lock_guard lock(mutex_);
  if (column >= columns_.size()) return result;
  const KeySet* keys = equalKeysLocked(column, value);
  if (keys == nullptr) return result;
  for (const auto& entry : *keys) {
    result.push_back(toRecord(entry->second));
    if (limit >= 1 && result.size() >= static_cast<size_t>(limit)) break;
  }
  return result;
}

bool FileDatabase::FindFirstEqual(unsigned column, std::u16string_view value,
                                  DatabaseRecord& out) const {
  std::vector<DatabaseRecord> found = SelectEqual(column, value, 1);
  if (found.empty()) return false;
  out = std::move(found.front());
  return true;
}

bool FileDatabase::FindLastEqual(unsigned column, std::u16string_view value,
                                 const RecordTest& accept, DatabaseRecord& out) const {
  std::lock_guard lock(mutex_);
  if (column >= columns_.size()) return false;
  const KeySet* keys = equalKeysLocked(column, value);
  if (keys == nullptr) return false;
  for (auto entry = keys->rbegin(); entry != keys->rend(); ++entry) {
    DatabaseRecord record = toRecord((*entry)->second);
    if (!accept(record)) continue;
    out = std::move(record);
    return true;
  }
  return false;
}

std::vector<DatabaseRecord> FileDatabase::SelectNotEqual(unsigned column, std::u16string_view value,
                                                         int limit) const {
  return select(column, notEqualTo(value), limit);
}

bool FileDatabase::FindFirstNotEqual(unsigned column, std::u16string_view value,
                                     DatabaseRecord& out) const {
  return findFirst(column, notEqualTo(value), out);
}

bool FileDatabase::FindFirst(unsigned column, std::u16string_view value,
                             DatabaseRecord& out) const {
  return FindFirstEqual(column, value, out);
}

std::vector<DatabaseRecord> FileDatabase::SelectContaining(unsigned column,
                                                           std::u16string_view text,
                                                           int limit) const {
  return select(column, containing(text), limit);
}

bool FileDatabase::FindFirstContaining(unsigned column, std::u16string_view text,
                                       DatabaseRecord& out) const {
  return findFirst(column, containing(text), out);
}

std::vector<DatabaseRecord> FileDatabase::SelectNotContaining(unsigned column,
                                                              std::u16string_view text,
                                                              int limit) const {
  return select(column, notContaining(text), limit);
}

bool FileDatabase::FindFirstNotContaining(unsigned column, std::u16string_view text,
                                          DatabaseRecord& out) const {
  return findFirst(column, notContaining(text), out);
}

bool FileDatabase::FindMaximum(unsigned column, bool numeric, DatabaseRecord& out) const {
  std::lock_guard lock(mutex_);
  if (column >= columns_.size()) return false;
  const std::string* best = nullptr;
  std::string_view bestText;
  int bestNumber = 0;
  for (const auto& entry : records_) {
    const std::string_view field = fieldOf(entry.second, column);
    if (numeric) {
      const int number = parseDecimal(field);
      if (best == nullptr || number > bestNumber) {
        best = &entry.second;
        bestNumber = number;
      }
    } else if (best == nullptr || utf16Less(bestText, field)) {
      best = &entry.second;
      bestText = field;
    }
  }
  if (best == nullptr) return false;
  out = toRecord(*best);
  return true;
}

std::vector<DatabaseRecord> FileDatabase::SelectByNumber(unsigned column, int number, int mode,
                                                         int limit) const {
  if (mode != kGreaterThan && mode != kLessThan) return {};
  return select(
      column,
      [&](std::string_view f) {
        const int value = parseDecimal(f);
        return mode == kGreaterThan ? value > number : value < number;
      },
      limit);
}

}  // namespace parlane
