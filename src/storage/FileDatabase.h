#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/util/Utf8Text.h"
#include "storage/GenericDatabase.h"

namespace parlane {

// A database mirrored in one UTF-8 text file, one record per line, fields joined by the
// separator character, lines ending in CR LF. Its shape comes from the settings under its name:
// ".filename", ".columns.%d", ".index", ".maxrecords", ".separator", ".id".
//
// Records added to a database without a record limit are appended to the file; anything else
// (a replacement, a removal, a limit) rewrites the whole file through a temporary file and a
// rename, so a crash leaves the old or the new file, never a mix.
//
// While a database has its file, it holds an exclusive advisory lock (flock) on it: a second
// database on the same file, in this process or another, can't load it (errno EWOULDBLOCK), so
// that neither side silently loses the other's writes.
class FileDatabase : public GenericDatabase {
 public:
  // A relative file name is taken relative to `baseFolder` (when not empty).
  FileDatabase(std::u16string name, SettingsStore& settings, const std::string& baseFolder = {});
  ~FileDatabase() override;

  // A new identifier is never the key of a record in the database, however the keys got there.
  std::int32_t NextId() override;

  int Load(bool resetIds) override;
  int Flush() override;
  int Truncate() override;
  int Save() override;

  bool Get(std::u16string_view key, DatabaseRecord& out) const override;
  void PutOwned(std::unique_ptr<DatabaseRecord> record) override;
  void Put(const DatabaseRecord& record) override;
  void Remove(std::u16string_view key) override;
  void Clear() override;
  std::size_t Count() const override;

  std::vector<DatabaseRecord> SelectMatchingAll(const std::vector<unsigned>& columns,
                                                const std::vector<std::u16string>& values,
                                                int limit) const override;
  std::vector<DatabaseRecord> SelectEqual(unsigned column, std::u16string_view value,
                                          int limit) const override;
  bool FindFirstEqual(unsigned column, std::u16string_view value,
                      DatabaseRecord& out) const override;
  std::vector<DatabaseRecord> SelectNotEqual(unsigned column, std::u16string_view value,
                                             int limit) const override;
  bool FindFirstNotEqual(unsigned column, std::u16string_view value,
                         DatabaseRecord& out) const override;
  bool FindFirst(unsigned column, std::u16string_view value, DatabaseRecord& out) const override;
  std::vector<DatabaseRecord> SelectContaining(unsigned column, std::u16string_view text,
                                               int limit) const override;
  bool FindFirstContaining(unsigned column, std::u16string_view text,
                           DatabaseRecord& out) const override;
  std::vector<DatabaseRecord> SelectNotContaining(unsigned column, std::u16string_view text,
                                                  int limit) const override;
  bool FindFirstNotContaining(unsigned column, std::u16string_view text,
                              DatabaseRecord& out) const override;
  bool FindMaximum(unsigned column, bool numeric, DatabaseRecord& out) const override;
  std::vector<DatabaseRecord> SelectByNumber(unsigned column, int number, int mode,
                                             int limit) const override;

  // The file path after expansion, and the shape read from the settings.
  const std::string& path() const { return path_; }
  const std::vector<std::u16string>& columns() const { return columns_; }
  unsigned keyIndex() const { return keyIndex_; }
  unsigned recordLimit() const { return limit_; }
  char16_t separator() const { return separator_; }
  // The identifier NextId will hand out next; reading it hands nothing out.
  std::int32_t peekNextId() const;
  // Every key in key order, taken under the lock: a view shows a large folder row by row from
  // these, reading only the records it draws.
  std::vector<std::u16string> keys() const;
  // Goes up with every change of the records (put, remove, clear, load); read without the lock,
  // so that a view can tell cheaply whether it must look again.
  std::uint64_t revision() const { return revision_.load(std::memory_order_acquire); }

 private:
  // Stored form of a record: its fields in UTF-8 joined by the separator, exactly as in the file.
  using RecordMap = std::map<std::string, std::string, Utf16KeyLess>;
  using FieldTest = std::function<bool(std::string_view field)>;

  std::string keyOf(std::string_view line) const;
  std::string_view fieldOf(std::string_view line, unsigned column) const;
  DatabaseRecord toRecord(std::string_view line) const;
  std::string toLine(const DatabaseRecord& record) const;
  // linesOf a load could not take as they were, for the ".rejected" file and the log.
  struct Rejected {
    std::vector<std::string> lines;
    size_t skipped = 0;   // too many fields, or replaced by a later line with the same key
    size_t repaired = 0;  // invalid UTF-8, loaded repaired
    size_t cut = 0;       // the last line, cut short by a crash during an append
  };
  void parse(std::string_view bytes, RecordMap& records, std::int64_t& largestId,
             Rejected& rejected) const;
  void keepRejected(const Rejected& rejected) const;
  // Takes the lock on the file now at the path (when this database doesn't hold it already); with
  // `create` a missing file is made empty. -1 with errno, EWOULDBLOCK when another holds it.
  int lockFileLocked(bool create);
  int rewriteLocked();
  int appendLocked();
  void storeLocked(std::string line);
  void trimLocked();
  // The one selection routine behind every search: records in key order whose field in `column`
  // passes `test`, at most `limit` of them when it is 1 or more.
  std::vector<DatabaseRecord> select(unsigned column, const FieldTest& test, int limit) const;
  bool findFirst(unsigned column, const FieldTest& test, DatabaseRecord& out) const;

  std::string path_;
  std::vector<std::u16string> columns_;
  unsigned keyIndex_ = 0;
  unsigned limit_ = 0;
  char16_t separator_ = u'\t';
  std::string separatorUtf8_;
  RecordMap records_;
  std::vector<std::string> pending_;  // keys of records still to be appended
  bool clean_ = true;
  // Set when the file exists but couldn't be read: a rewrite would destroy what it holds.
  bool unreadable_ = false;
  // The open file this database holds its lock on, or -1.
  int lockFd_ = -1;
  std::atomic<std::uint64_t> revision_{0};
};

}  // namespace parlane
