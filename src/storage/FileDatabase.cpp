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
// Loads and rewrites go through the file in pieces of this size; reads of lines kept in the file
// take this much at a time.
constexpr size_t kChunkBytes = 4 << 20;
constexpr size_t kWindowBytes = 256 << 10;
constexpr size_t kLookupBytes = 4 << 10;

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

// How many times `byte` occurs in `text`, eight bytes at a time: loads count the fields of every
// line.
size_t countByte(std::string_view text, char byte) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
  const std::uint64_t pattern = kOnes * static_cast<unsigned char>(byte);
  size_t count = 0;
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t chunk;
    std::memcpy(&chunk, text.data() + i, 8);
    chunk ^= pattern;
    // The high bit of each byte that is zero now, and of no other.
    const std::uint64_t zero = ~(((chunk & kLow7) + kLow7) | chunk | kLow7);
    // A one in each such byte, summed into the top byte by the multiplication.
    count += static_cast<size_t>(((zero >> 7) * kOnes) >> 56);
  }
  for (; i < text.size(); ++i) count += text[i] == byte;
  return count;
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

size_t FileDatabase::fieldCount(std::string_view line) const {
  if (separatorUtf8_.size() == 1) return 1 + countByte(line, separatorUtf8_.front());
  size_t fields = 1;
  for (size_t at = line.find(separatorUtf8_); at != std::string_view::npos;
       at = line.find(separatorUtf8_, at + separatorUtf8_.size())) {
    ++fields;
  }
  return fields;
}

std::string FileDatabase::paddedLine(std::string_view line) const {
  const size_t fields = fieldCount(line);
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
    if (change->removal
            ? found != records.end()
            : found == records.end() || lineOf(found->second) != paddedLine(change->text)) {
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
  if (dataFd_ >= 0) ::close(dataFd_);
}

FileDatabase::Line FileDatabase::inMemory(std::string text) {
  Line line;
  line.text = std::make_unique<std::string>(std::move(text));
  return line;
}

std::string_view FileDatabase::lineOf(const Line& line) const {
  if (line.text) return *line.text;
  if (line.offset >= windowStart_ && line.offset + line.length <= windowStart_ + window_.size()) {
    return std::string_view(window_).substr(line.offset - windowStart_, line.length);
  }
  // A scan goes on where the window ended and reads ahead; a lookup reads little more than its
  // line.
  const bool onward =
      line.offset >= windowStart_ && line.offset <= windowStart_ + window_.size() + kLookupBytes;
  const size_t wanted = std::max<size_t>(onward ? kWindowBytes : kLookupBytes, line.length);
  window_.resize(wanted);
  size_t got = 0;
  while (got < wanted) {
    const ssize_t n =
        ::pread(dataFd_, window_.data() + got, wanted - got, static_cast<off_t>(line.offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  window_.resize(got);
  windowStart_ = line.offset;
  if (got < line.length) {
    // Only another program cutting the file under the lock gets here.
    Logger::log(3, "Folder file " + path_ + " was cut short by another program; a record at " +
                       std::to_string(line.offset) + " can't be read");
    window_.clear();
    return {};
  }
  return std::string_view(window_).substr(0, line.length);
}

std::int32_t FileDatabase::nextId() {
  std::lock_guard lock(mutex_);
  std::int32_t id = nextId_;
  // An id already in use (a key typed into the file, or the counter wrapping after an id near the
  // top of the range) is passed over: put would replace that record without a word.
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

size_t FileDatabase::parse(std::string_view bytes, std::uint64_t base, bool last,
                           RecordMap& records, std::int64_t& largestId, Rejected& rejected) const {
  std::string repairedText;
  LineSplitter lines(bytes);
  std::string_view line;
  size_t taken = 0;
  while (lines.next(line)) {
    const bool lastWithoutLineEnd = !lines.endedByLineFeed();
    if (lastWithoutLineEnd && !last) break;
    taken = static_cast<size_t>(lines.rawLine().data() - bytes.data()) + lines.rawLine().size() +
            (lastWithoutLineEnd ? 0 : 1);
    const bool endsInCarriageReturn = lines.rawLine().size() != line.size();
    if (line.empty() || line.front() == '#') continue;

    std::string_view text = line;
    bool keepOriginal = false;
    if (!isValidUtf8(line)) {
      repairedText = toUtf8(fromUtf8(line));
      text = repairedText;
      keepOriginal = true;
    }
    const size_t fields = fieldCount(text);
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
    // A whole, valid line stays in the file; a repaired or padded one is held in memory.
    Line stored;
    if (keepOriginal || fields < columns_.size()) {
      std::string padded;
      padded.reserve(text.size() + (columns_.size() - fields) * separatorUtf8_.size());
      padded.append(text);
      for (size_t i = fields; i < columns_.size(); ++i) padded += separatorUtf8_;
      stored = inMemory(std::move(padded));
    } else {
      stored.offset = base + static_cast<std::uint64_t>(line.data() - bytes.data());
      stored.length = static_cast<std::uint32_t>(line.size());
    }

    std::string key = keyOf(text);
    std::int64_t id;
    if (parseHexKey(key, id)) largestId = std::max(largestId, id);
    // Files are written in key order, so the end is nearly always the right place.
    if (records.empty() || utf16Less(std::prev(records.end())->first, key)) {
      records.emplace_hint(records.end(), std::move(key), std::move(stored));
    } else if (auto [at, added] = records.try_emplace(std::move(key), std::move(stored)); !added) {
      // A repeated key replaces the earlier line; keep the earlier one unless it is the same.
      const std::string earlier(lineOf(at->second));
      if (earlier != (stored.text ? std::string_view(*stored.text) : text)) {
        rejected.lines.push_back(earlier);
        ++rejected.skipped;
      }
      at->second = std::move(stored);
    }
  }
  return taken;
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

int FileDatabase::load(bool resetIds) {
  std::lock_guard lock(mutex_);
  if (columns_.empty()) {
    // Without columns every line would be dropped.
    errno = EINVAL;
    return -1;
  }
  int fd = -1;
  if (lockFileLocked(false) == 0) fd = ::fcntl(lockFd_, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) {
    // A file that exists but can't be read (or is another's) must never be rewritten from here.
    const int error = errno;
    unreadable_ = error != ENOENT;
    errno = error;
    return -1;
  }
  // Lines stay in the file they were read from: reads go there from now on.
  const int previousFd = dataFd_;
  dataFd_ = fd;
  window_.clear();
  RecordMap records{RecordMap::allocator_type(pool_)};
  std::int64_t largestId = 0;
  Rejected rejected;
  // Filled up to `filled`; sized once (and again only for a line longer than it), since every
  // resize of a string clears its new bytes.
  std::string buffer(kChunkBytes, '\0');
  size_t filled = 0;
  std::uint64_t base = 0;
  std::uint64_t size = 0;
  for (bool atEnd = false; !atEnd;) {
    if (buffer.size() - filled < kChunkBytes / 2) buffer.resize(filled + kChunkBytes);
    const ssize_t n =
        ::pread(fd, buffer.data() + filled, buffer.size() - filled, static_cast<off_t>(size));
    if (n < 0) {
      const int error = errno;
      if (error == EINTR) continue;
      ::close(fd);
      dataFd_ = previousFd;
      window_.clear();
      unreadable_ = true;
      errno = error;
      return -1;
    }
    filled += static_cast<size_t>(n);
    size += static_cast<std::uint64_t>(n);
    atEnd = n == 0;
    const std::string_view bytes(buffer.data(), filled);
    size_t skip = 0;
    // An editor's byte-order mark is not part of the first key (nor does it hide a comment).
    if (base == 0 && bytes.starts_with(kByteOrderMark)) skip = kByteOrderMark.size();
    const size_t taken =
        skip + parse(bytes.substr(skip), base + skip, atEnd, records, largestId, rejected);
    std::memmove(buffer.data(), buffer.data() + taken, filled - taken);
    filled -= taken;
    base += taken;
  }
  buffer = std::string();
  if (previousFd >= 0) ::close(previousFd);
  removeStaleTemporaryFiles(path_);
  const bool journalApplied = applyJournal(size, records, largestId);
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

int FileDatabase::flush() { return save(); }

int FileDatabase::truncate() {
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

int FileDatabase::save() {
  std::lock_guard lock(mutex_);
  return saveLocked(true);
}

int FileDatabase::saveWithoutFlush() {
  std::lock_guard lock(mutex_);
  return saveLocked(false);
}

int FileDatabase::saveLocked(bool flush) {
  if (clean_ && pending_.empty() && journalPending_.empty()) return 0;
  if (!clean_) return rewriteLocked();
  bool journal = !journalPending_.empty();
  for (size_t i = 0; i < pending_.size() && !journal; ++i)
    journal = journaled_.contains(pending_[i]);
  return journal ? journalLocked(flush) : appendLocked();
}

int FileDatabase::compact() {
  std::lock_guard lock(mutex_);
  if (clean_ && pending_.empty() && journalPending_.empty() && journalBytes_ == 0) return 0;
  return rewriteLocked();
}

int FileDatabase::compactWhenQuiet(std::int64_t nowMs, std::int64_t quietMs) {
  std::lock_guard lock(mutex_);
  const std::uint64_t revision = revision_.load(std::memory_order_acquire);
  if (quietRevision_ != revision) {
    quietRevision_ = revision;
    quietSinceMs_ = nowMs;
    return 0;
  }
  if (journalBytes_ == 0 || !clean_ || !pending_.empty() || !journalPending_.empty()) return 0;
  if (nowMs - quietSinceMs_ < quietMs) return 0;
  quietSinceMs_ = nowMs;
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
  // Written through a temporary file and a rename, a piece at a time: a large folder is never
  // held whole in memory.
  std::string temporary = path_ + std::string(kTemporaryFileMark) + "XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return -1;
  std::vector<std::pair<std::uint64_t, std::uint32_t>> places;
  places.reserve(records_.size());
  std::string buffer;
  std::uint64_t written = 0;
  bool ok = ::fchmod(fd, static_cast<mode_t>(kPrivateFileMode)) == 0;
  for (auto entry = records_.cbegin(); ok && entry != records_.cend(); ++entry) {
    const std::string_view line = lineOf(entry->second);
    places.emplace_back(written + buffer.size(), static_cast<std::uint32_t>(line.size()));
    buffer.append(line).append(kLineEnd);
    if (buffer.size() < kChunkBytes) continue;
    ok = writeAllBytes(fd, buffer);
    written += buffer.size();
    buffer.clear();
  }
  ok = ok && writeAllBytes(fd, buffer) && ::fsync(fd) == 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  const int dataFd = ok ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
  ok = ok && dataFd >= 0 && ::rename(temporary.c_str(), path_.c_str()) == 0;
  if (!ok) {
    const int error = errno;
    if (dataFd >= 0) ::close(dataFd);
    ::close(fd);
    ::unlink(temporary.c_str());
    errno = error;
    return -1;
  }
  syncFolderOf(path_);
  // Every line now stands in the new file: memory lets go of the ones it held.
  size_t i = 0;
  for (auto& entry : records_) {
    entry.second.offset = places[i].first;
    entry.second.length = places[i].second;
    entry.second.text.reset();
    ++i;
  }
  if (lockFd_ >= 0) ::close(lockFd_);
  lockFd_ = fd;
  if (dataFd_ >= 0) ::close(dataFd_);
  dataFd_ = dataFd;
  window_.clear();
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
  unflushed_ = 0;
  journaled_.clear();
}

int FileDatabase::journalLocked(bool flush) {
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
      appendJournalPut(batch, lineOf(found->second));
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
  const bool sync = flush || unflushed_ >= kUnflushedSaves;
  const bool ok = writeAllBytes(fd, batch) && (!sync || ::fsync(fd) == 0);
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
  if (fresh) journalNameFlushed_ = false;
  if (sync && !journalNameFlushed_) {
    syncFolderOf(journal);
    journalNameFlushed_ = true;
  }
  unflushed_ = sync ? 0 : unflushed_ + 1;
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

bool FileDatabase::applyJournal(std::uint64_t fileSize, RecordMap& records,
                                std::int64_t& largestId) {
  journalBytes_ = 0;
  unflushed_ = 0;
  journalNameFlushed_ = true;
  journaled_.clear();
  const std::string journal = journalPath();
  const std::optional<std::string> bytes = readWholeFile(journal);
  if (!bytes) return true;
  const JournalContents contents = parseJournal(*bytes);
  struct stat st {};
  const bool statted = lockFd_ >= 0 && ::fstat(lockFd_, &st) == 0;
  if (!contents.batches.empty()) {
    const JournalBinding& last = contents.batches.back().binding;
    bool matches =
        statted && last.inode == static_cast<std::uint64_t>(st.st_ino) && last.size <= fileSize;
    if (matches) {
      std::string tail(static_cast<size_t>(std::min<std::uint64_t>(last.size, kJournalTailBytes)),
                       '\0');
      matches = static_cast<size_t>(::pread(dataFd_, tail.data(), tail.size(),
                                            static_cast<off_t>(last.size - tail.size()))) ==
                    tail.size() &&
                last.tailHash == journalTailHash(tail);
    }
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
      const size_t fields = fieldCount(change.text);
      if (fields > columns_.size() || !isValidUtf8(change.text)) {
        ++skipped;
        continue;
      }
      std::string stored = paddedLine(change.text);
      std::string key = keyOf(stored);
      std::int64_t id;
      if (parseHexKey(key, id)) largestId = std::max(largestId, id);
      journaled_.insert(key);
      records.insert_or_assign(std::move(key), inMemory(std::move(stored)));
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
  std::vector<std::pair<Line*, std::uint64_t>> places;
  places.reserve(pending_.size());
  for (const std::string& key : pending_) {
    const auto found = records_.find(key);
    if (found == records_.end()) continue;
    places.emplace_back(&found->second, static_cast<std::uint64_t>(st.st_size) + buffer.size());
    buffer.append(lineOf(found->second)).append(kLineEnd);
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
  // The lines now stand in the file the others are read from: memory lets go of them, so that
  // a long run of new records costs no more than a load of them would.
  struct stat data {};
  if (dataFd_ >= 0 && ::fstat(dataFd_, &data) == 0 && sameFile(data, st)) {
    for (const auto& [line, offset] : places) {
      if (!line->text) continue;  // a key added twice in one save
      line->length = static_cast<std::uint32_t>(line->text->size());
      line->offset = offset;
      line->text.reset();
    }
  }
  pending_.clear();
  clean_ = true;
  return 0;
}

bool FileDatabase::get(std::u16string_view key, DatabaseRecord& out) const {
  const std::string utf8Key = toUtf8(key);
  std::lock_guard lock(mutex_);
  const auto found = records_.find(utf8Key);
  if (found == records_.end()) return false;
  out = toRecord(lineOf(found->second));
  return true;
}

void FileDatabase::putOwned(std::unique_ptr<DatabaseRecord> record) {
  if (record) put(*record);
}

void FileDatabase::put(const DatabaseRecord& record) {
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
    found->second = inMemory(std::move(line));
    indexLocked(found);
    return;
  }
  pending_.push_back(key);
  indexLocked(records_.emplace(std::move(key), inMemory(std::move(line))).first);
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

void FileDatabase::remove(std::u16string_view key) {
  const std::string utf8Key = toUtf8(key);
  std::lock_guard lock(mutex_);
  const auto found = records_.find(utf8Key);
  if (found == records_.end()) return;
  eraseLocked(found);
  revision_.fetch_add(1, std::memory_order_release);
}

void FileDatabase::clear() {
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
    index[foldedText(fieldOf(lineOf(at->second), column))].insert(at);
  }
}

void FileDatabase::unindexLocked(RecordMap::const_iterator at) {
  for (auto& [column, index] : indexes_) {
    const auto found = index.find(foldedText(fieldOf(lineOf(at->second), column)));
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
      KeySet& keys = index[foldedText(fieldOf(lineOf(entry->second), column))];
      keys.emplace_hint(keys.end(), entry);
    }
  }
  const auto found = index.find(foldedText(value));
  return found == index.end() ? nullptr : &found->second;
}

bool FileDatabase::last(DatabaseRecord& out) const {
  std::lock_guard lock(mutex_);
  if (records_.empty()) return false;
  out = toRecord(lineOf(records_.rbegin()->second));
  return true;
}

std::vector<DatabaseRecord> FileDatabase::newest(std::size_t count) const {
  std::vector<DatabaseRecord> result;
  std::lock_guard lock(mutex_);
  for (auto entry = records_.crbegin(); entry != records_.crend() && result.size() < count;
       ++entry) {
    result.push_back(toRecord(lineOf(entry->second)));
  }
  return result;
}

std::vector<DatabaseRecord> FileDatabase::after(std::u16string_view key, std::size_t count) const {
  const std::string utf8Key = toUtf8(key);
  std::vector<DatabaseRecord> result;
  std::lock_guard lock(mutex_);
  for (auto entry = records_.upper_bound(utf8Key); entry != records_.end() && result.size() < count;
       ++entry) {
    result.push_back(toRecord(lineOf(entry->second)));
  }
  return result;
}

std::size_t FileDatabase::heldBytes() const {
  std::lock_guard lock(mutex_);
  std::size_t bytes = 0;
  for (const auto& entry : records_) {
    if (entry.second.text) bytes += entry.second.text->size();
  }
  return bytes;
}

std::size_t FileDatabase::count() const {
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
    const std::string_view line = lineOf(entry.second);
    if (!test(fieldOf(line, column))) continue;
    result.push_back(toRecord(line));
    if (limit >= 1 && result.size() >= static_cast<size_t>(limit)) break;
  }
  return result;
}

bool FileDatabase::firstMatching(unsigned column, const FieldTest& test,
                                 DatabaseRecord& out) const {
  std::vector<DatabaseRecord> found = select(column, test, 1);
  if (found.empty()) return false;
  out = std::move(found.front());
  return true;
}

std::vector<DatabaseRecord> FileDatabase::selectMatchingAll(
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
  const auto matches = [&](std::string_view line) {
    for (size_t i = 1; i < columns.size(); ++i) {
      if (!wanted[i].equals(fieldOf(line, columns[i]))) return false;
    }
    return true;
  };
  const auto take = [&](const Line& stored) {
    const std::string_view line = lineOf(stored);
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

std::vector<DatabaseRecord> FileDatabase::selectEqual(unsigned column, std::u16string_view value,
                                                      int limit) const {
  std::vector<DatabaseRecord> result;
  std::lock_guard lock(mutex_);
  if (column >= columns_.size()) return result;
  const KeySet* keys = equalKeysLocked(column, value);
  if (keys == nullptr) return result;
  for (const auto& entry : *keys) {
    result.push_back(toRecord(lineOf(entry->second)));
    if (limit >= 1 && result.size() >= static_cast<size_t>(limit)) break;
  }
  return result;
}

bool FileDatabase::findFirstEqual(unsigned column, std::u16string_view value,
                                  DatabaseRecord& out) const {
  std::vector<DatabaseRecord> found = selectEqual(column, value, 1);
  if (found.empty()) return false;
  out = std::move(found.front());
  return true;
}

bool FileDatabase::findLastEqual(unsigned column, std::u16string_view value,
                                 const RecordTest& accept, DatabaseRecord& out) const {
  std::lock_guard lock(mutex_);
  if (column >= columns_.size()) return false;
  const KeySet* keys = equalKeysLocked(column, value);
  if (keys == nullptr) return false;
  for (auto entry = keys->rbegin(); entry != keys->rend(); ++entry) {
    DatabaseRecord record = toRecord(lineOf((*entry)->second));
    if (!accept(record)) continue;
    out = std::move(record);
    return true;
  }
  return false;
}

std::vector<DatabaseRecord> FileDatabase::selectNotEqual(unsigned column, std::u16string_view value,
                                                         int limit) const {
  return select(column, notEqualTo(value), limit);
}

bool FileDatabase::findFirstNotEqual(unsigned column, std::u16string_view value,
                                     DatabaseRecord& out) const {
  return firstMatching(column, notEqualTo(value), out);
}

bool FileDatabase::findFirst(unsigned column, std::u16string_view value,
                             DatabaseRecord& out) const {
  return findFirstEqual(column, value, out);
}

std::vector<DatabaseRecord> FileDatabase::selectContaining(unsigned column,
                                                           std::u16string_view text,
                                                           int limit) const {
  return select(column, containing(text), limit);
}

bool FileDatabase::findFirstContaining(unsigned column, std::u16string_view text,
                                       DatabaseRecord& out) const {
  return firstMatching(column, containing(text), out);
}

std::vector<DatabaseRecord> FileDatabase::selectNotContaining(unsigned column,
                                                              std::u16string_view text,
                                                              int limit) const {
  return select(column, notContaining(text), limit);
}

bool FileDatabase::findFirstNotContaining(unsigned column, std::u16string_view text,
                                          DatabaseRecord& out) const {
  return firstMatching(column, notContaining(text), out);
}

bool FileDatabase::findMaximum(unsigned column, bool numeric, DatabaseRecord& out) const {
  std::lock_guard lock(mutex_);
  if (column >= columns_.size()) return false;
  const Line* best = nullptr;
  std::string bestText;
  int bestNumber = 0;
  for (const auto& entry : records_) {
    const std::string_view field = fieldOf(lineOf(entry.second), column);
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
  out = toRecord(lineOf(*best));
  return true;
}

std::vector<DatabaseRecord> FileDatabase::selectByNumber(unsigned column, int number, int mode,
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
