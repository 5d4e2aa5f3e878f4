#include "storage/FileDatabase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/Environment.h"
#include "core/util/FileIo.h"
#include "core/util/Utf.h"
#include "storage/CaseInsensitiveText.h"
#include "storage/StaleTemporaryFiles.h"

namespace parlane {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

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
    const char c = key[i];
    int nibble;
    if (c >= '0' && c <= '9')
      nibble = c - '0';
    else if (c >= 'a' && c <= 'f')
      nibble = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      nibble = c - 'A' + 10;
    else
      break;
    result = result * 16 + nibble;
  }
  if (digits == 0) return false;
  value = result;
  return true;
}

int parseDecimal(std::string_view utf8Field) {
  return SettingsStore::parseInt(fromUtf8(utf8Field));
}

}  // namespace

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
  if (separator_ == u'\r' || separator_ == u'\n' || separator_ == 0 ||
      (separator_ >= 0xD800 && separator_ <= 0xDFFF)) {
    separator_ = u'\t';
  }
  separatorUtf8_ = toUtf8(std::u16string_view(&separator_, 1));
}

FileDatabase::~FileDatabase() = default;

std::int32_t FileDatabase::nextId() const {
  std::lock_guard lock(mutex_);
  return nextId_;
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
    AppendUtf16(
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
                         std::string& rejected, size_t& skipped, size_t& repaired) const {
  size_t position = 0;
  std::string repairedText;
  while (position < bytes.size()) {
    const size_t lineFeed = bytes.find('\n', position);
    const size_t end = lineFeed == std::string_view::npos ? bytes.size() : lineFeed;
    std::string_view line = bytes.substr(position, end - position);
    position = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;

    std::string_view text = line;
    bool keepOriginal = false;
    if (!IsValidUtf8(line)) {
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
      rejected.append(line).append(kLineEnd);
      ++skipped;
      continue;
    }
    if (keepOriginal) {
      rejected.append(line).append(kLineEnd);
      ++repaired;
    }
    std::string stored;
    stored.reserve(text.size() + (columns_.size() - fields) * separatorUtf8_.size());
    stored.append(text);
    for (size_t i = fields; i < columns_.size(); ++i) stored += separatorUtf8_;

    std::string key = keyOf(stored);
    std::int64_t id;
    if (parseHexKey(key, id)) largestId = std::max(largestId, id);
    // Files are written in key order, so the end is nearly always the right place.
    if (records.empty() || Utf16Less(std::prev(records.end())->first, key)) {
      records.emplace_hint(records.end(), std::move(key), std::move(stored));
    } else if (auto [at, added] = records.try_emplace(std::move(key), std::move(stored)); !added) {
      // A repeated key replaces the earlier line; keep the earlier one unless it is the same.
      if (at->second != stored) {
        rejected.append(at->second).append(kLineEnd);
        ++skipped;
      }
      at->second = std::move(stored);
    }
  }
}

void FileDatabase::keepRejected(const std::string& rejected, size_t skipped,
                                size_t repaired) const {
  if (rejected.empty()) return;
  const std::string rejectedPath = path_ + ".rejected";
  const bool kept = appendToFile(rejectedPath, rejected, kPrivateFileMode);
  std::string note = "Folder file " + path_ + ": " + std::to_string(skipped) +
                     " line(s) skipped or replaced by a later one, " + std::to_string(repaired) +
                     " line(s) with invalid UTF-8 repaired; ";
  note += kept ? "the original lines are kept in " + rejectedPath
               : "can't keep the original lines in " + rejectedPath + ": " + std::strerror(errno);
  Logger::log(2, note);
}

int FileDatabase::Load(bool resetIds) {
  std::lock_guard lock(mutex_);
  if (columns_.empty()) {
    // Without columns every line would be dropped.
    errno = EINVAL;
    return -1;
  }
  const std::optional<std::string> bytes = readWholeFile(path_);
  if (!bytes) {
    const int error = errno;
    unreadable_ = error != ENOENT;
    errno = error;
    return -1;
  }
  RemoveStaleTemporaryFiles(path_);
  RecordMap records;
  std::int64_t largestId = 0;
  std::string rejected;
  size_t skipped = 0;
  size_t repaired = 0;
  parse(*bytes, records, largestId, rejected, skipped, repaired);
  records_.swap(records);
  pending_.clear();
  clean_ = true;
  unreadable_ = false;
  if (resetIds) nextId_ = static_cast<std::int32_t>(std::min<std::int64_t>(largestId + 2, INT_MAX));
  keepRejected(rejected, skipped, repaired);
  return 0;
}

int FileDatabase::Flush() { return Save(); }

int FileDatabase::Truncate() {
  std::lock_guard lock(mutex_);
  if (!writeFileAtomically(path_, std::string_view(), kPrivateFileMode)) return -1;
  pending_.clear();
  clean_ = records_.empty();
  unreadable_ = false;
  return 0;
}

int FileDatabase::Save() {
  std::lock_guard lock(mutex_);
  if (clean_ && pending_.empty()) return 0;
  if (!clean_ || limit_ > 0) return rewriteLocked();
  return appendLocked();
}

int FileDatabase::rewriteLocked() {
  if (unreadable_) {
    Logger::log(3, "Folder file " + path_ +
                       " could not be read when loaded; it is not rewritten, so that nothing in "
                       "it is lost");
    errno = EACCES;
    return -1;
  }
  size_t size = 0;
  for (const auto& entry : records_) size += entry.second.size() + kLineEnd.size();
  std::string buffer;
  buffer.reserve(size);
  for (const auto& entry : records_) buffer.append(entry.second).append(kLineEnd);
  if (!writeFileAtomically(path_, buffer, kPrivateFileMode)) return -1;
  pending_.clear();
  clean_ = true;
  return 0;
}

int FileDatabase::appendLocked() {
  const int fd = ::open(path_.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
  if (fd < 0) {
    // The file went away: memory holds everything, so write it whole.
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
  std::string buffer;
  if (st.st_size > 0) {
    // A write cut short leaves a broken last line: never glue a new record onto it.
    char last = '\n';
    if (::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n') buffer.append(kLineEnd);
  }
  for (const std::string& key : pending_) {
    const auto found = records_.find(key);
    if (found != records_.end()) buffer.append(found->second).append(kLineEnd);
  }
  const bool ok = writeAllBytes(fd, buffer) && ::fsync(fd) == 0;
  const int error = errno;
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
  std::string key = keyOf(line);
  const auto found = records_.find(key);
  if (found == records_.end() && limit_ == 0) {
    pending_.push_back(key);
  } else {
    clean_ = false;
    pending_.clear();
  }
  if (found != records_.end()) {
    found->second = std::move(line);
  } else {
    records_.emplace(std::move(key), std::move(line));
  }
}

void FileDatabase::trimLocked() {
  if (limit_ == 0) return;
  while (records_.size() > limit_) records_.erase(records_.begin());
}

void FileDatabase::Remove(std::u16string_view key) {
  const std::string utf8Key = toUtf8(key);
  std::lock_guard lock(mutex_);
  records_.erase(utf8Key);
  pending_.clear();
  clean_ = false;
}

void FileDatabase::Clear() {
  std::lock_guard lock(mutex_);
  records_.clear();
  pending_.clear();
  clean_ = false;
}

std::size_t FileDatabase::Count() const {
  std::lock_guard lock(mutex_);
  return records_.size();
}

std::vector<DatabaseRecord> FileDatabase::selectLocked(unsigned column, const FieldTest& test,
                                                       int limit) const {
  std::vector<DatabaseRecord> result;
  // Every record has one field per column: a column past them ends the search at once.
  if (column >= columns_.size()) return result;
  for (const auto& entry : records_) {
    if (!test(fieldOf(entry.second, column))) continue;
    result.push_back(toRecord(entry.second));
    if (limit >= 1 && result.size() >= static_cast<size_t>(limit)) break;
  }
  return result;
}

bool FileDatabase::findFirstLocked(unsigned column, const FieldTest& test,
                                   DatabaseRecord& out) const {
  std::vector<DatabaseRecord> found = selectLocked(column, test, 1);
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
  for (const auto& entry : records_) {
    bool all = true;
    for (size_t i = 0; i < columns.size() && all; ++i) {
      all = wanted[i].equals(fieldOf(entry.second, columns[i]));
    }
    if (!all) continue;
    result.push_back(toRecord(entry.second));
    if (limit >= 1 && result.size() >= static_cast<size_t>(limit)) break;
  }
  return result;
}

std::vector<DatabaseRecord> FileDatabase::SelectEqual(unsigned column, std::u16string_view value,
                                                      int limit) const {
  const CaseInsensitiveText wanted(value);
  std::lock_guard lock(mutex_);
  return selectLocked(
      column, [&](std::string_view f) { return wanted.equals(f); }, limit);
}

bool FileDatabase::FindFirstEqual(unsigned column, std::u16string_view value,
                                  DatabaseRecord& out) const {
  const CaseInsensitiveText wanted(value);
  std::lock_guard lock(mutex_);
  return findFirstLocked(
      column, [&](std::string_view f) { return wanted.equals(f); }, out);
}

std::vector<DatabaseRecord> FileDatabase::SelectNotEqual(unsigned column, std::u16string_view value,
                                                         int limit) const {
  const CaseInsensitiveText wanted(value);
  std::lock_guard lock(mutex_);
  return selectLocked(
      column, [&](std::string_view f) { return !wanted.equals(f); }, limit);
}

bool FileDatabase::FindFirstNotEqual(unsigned column, std::u16string_view value,
                                     DatabaseRecord& out) const {
  const CaseInsensitiveText wanted(value);
  std::lock_guard lock(mutex_);
  return findFirstLocked(
      column, [&](std::string_view f) { return !wanted.equals(f); }, out);
}

bool FileDatabase::FindFirst(unsigned column, std::u16string_view value,
                             DatabaseRecord& out) const {
  return FindFirstEqual(column, value, out);
}

std::vector<DatabaseRecord> FileDatabase::SelectContaining(unsigned column,
                                                           std::u16string_view text,
                                                           int limit) const {
  const CaseInsensitiveText wanted(text);
  std::lock_guard lock(mutex_);
  return selectLocked(
      column, [&](std::string_view f) { return wanted.containedIn(f); }, limit);
}

bool FileDatabase::FindFirstContaining(unsigned column, std::u16string_view text,
                                       DatabaseRecord& out) const {
  const CaseInsensitiveText wanted(text);
  std::lock_guard lock(mutex_);
  return findFirstLocked(
      column, [&](std::string_view f) { return wanted.containedIn(f); }, out);
}

std::vector<DatabaseRecord> FileDatabase::SelectNotContaining(unsigned column,
                                                              std::u16string_view text,
                                                              int limit) const {
  const CaseInsensitiveText wanted(text);
  std::lock_guard lock(mutex_);
  return selectLocked(
      column, [&](std::string_view f) { return !wanted.containedIn(f); }, limit);
}

bool FileDatabase::FindFirstNotContaining(unsigned column, std::u16string_view text,
                                          DatabaseRecord& out) const {
  const CaseInsensitiveText wanted(text);
  std::lock_guard lock(mutex_);
  return findFirstLocked(
      column, [&](std::string_view f) { return !wanted.containedIn(f); }, out);
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
    } else if (best == nullptr || Utf16Less(bestText, field)) {
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
  std::lock_guard lock(mutex_);
  return selectLocked(
      column,
      [&](std::string_view f) {
        const int value = parseDecimal(f);
        return mode == kGreaterThan ? value > number : value < number;
      },
      limit);
}

}  // namespace parlane
