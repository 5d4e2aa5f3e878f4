#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/util/Utf8Text.h"
#include "storage/FolderJournal.h"
#include "storage/GenericDatabase.h"
#include "storage/NodePool.h"

namespace parlane {

// A database mirrored in one UTF-8 text file, one record per line, fields joined by the
// separator character, lines ending in CR LF. Its shape comes from the settings under its name:
// ".filename", ".columns.%d", ".index", ".maxrecords", ".separator", ".id".
//
// Records added are appended to the file. Replacements and removals (and records dropped by a
// limit) go to a journal beside it, "<file>.journal", in one fsync'd append per save (a few
// saveWithoutFlush() in a row leave the fsync to the next save), and are applied when the file
// loads; a save that holds both puts its new records there too, so that the save lands whole or
// not at all. The journal is folded into the file (a compaction: a rewrite through a temporary
// file and a rename, so a crash leaves the old or the new file, never a mix) when it grows past a
// share of the file's size, on compact(), when the records have rested (compactWhenQuiet) and
// when memory and file part ways (a clear(), lines set aside at load). The file alone is a valid
// folder at every moment; it lacks only what the journal holds.
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
  std::int32_t nextId() override;

  int load(bool resetIds) override;
  int flush() override;
  int truncate() override;
  int save() override;
  int saveWithoutFlush() override;
  // How many saves in a row may leave their journal batch unflushed.
  static constexpr unsigned kUnflushedSaves = 16;

  bool get(std::u16string_view key, DatabaseRecord& out) const override;
  void putOwned(std::unique_ptr<DatabaseRecord> record) override;
  void put(const DatabaseRecord& record) override;
  void remove(std::u16string_view key) override;
  void clear() override;
  std::size_t count() const override;

  std::vector<DatabaseRecord> selectMatchingAll(const std::vector<unsigned>& columns,
                                                const std::vector<std::u16string>& values,
                                                int limit) const override;
  std::vector<DatabaseRecord> selectEqual(unsigned column, std::u16string_view value,
                                          int limit) const override;
  bool findFirstEqual(unsigned column, std::u16string_view value,
                      DatabaseRecord& out) const override;
  std::vector<DatabaseRecord> selectNotEqual(unsigned column, std::u16string_view value,
                                             int limit) const override;
  bool findFirstNotEqual(unsigned column, std::u16string_view value,
                         DatabaseRecord& out) const override;
  bool findFirst(unsigned column, std::u16string_view value, DatabaseRecord& out) const override;
  std::vector<DatabaseRecord> selectContaining(unsigned column, std::u16string_view text,
                                               int limit) const override;
  bool findFirstContaining(unsigned column, std::u16string_view text,
                           DatabaseRecord& out) const override;
  std::vector<DatabaseRecord> selectNotContaining(unsigned column, std::u16string_view text,
                                                  int limit) const override;
  bool findFirstNotContaining(unsigned column, std::u16string_view text,
                              DatabaseRecord& out) const override;
  bool findMaximum(unsigned column, bool numeric, DatabaseRecord& out) const override;
  std::vector<DatabaseRecord> selectByNumber(unsigned column, int number, int mode,
                                             int limit) const override;
  bool findLastEqual(unsigned column, std::u16string_view value, const RecordTest& accept,
                     DatabaseRecord& out) const override;

  // The record with the largest key; false when there is none.
  bool last(DatabaseRecord& out) const;
  // The `count` records with the largest keys, the largest first.
  std::vector<DatabaseRecord> newest(std::size_t count) const;
  // Up to `count` records whose keys follow `key`, in key order (paging that a removal or an
  // addition meanwhile does not shift).
  std::vector<DatabaseRecord> after(std::u16string_view key, std::size_t count) const;
  // Saves, then folds the journal into the file. 0, or -1 (errno set) with nothing lost.
  int compact();
  std::string journalPath() const { return path_ + ".journal"; }
  // Folds the journal into the file once the records have gone `quietMs` without a change, by the
  // times the calls bring (a caller's periodic tick): a folder left alone doesn't keep its journal.
  // Changes not saved yet are left to their owner's save. 0, or -1 (errno set) with nothing lost;
  // a failed fold waits as long again.
  int compactWhenQuiet(std::int64_t nowMs, std::int64_t quietMs);

  // Bytes of record lines held in memory instead of read back from the file: changes the journal
  // holds, lines repaired at load, records not saved yet. Walks every record.
  std::size_t heldBytes() const;

  // The file path after expansion, and the shape read from the settings.
  const std::string& path() const { return path_; }
  const std::vector<std::u16string>& columns() const { return columns_; }
  unsigned keyIndex() const { return keyIndex_; }
  unsigned recordLimit() const { return limit_; }
  char16_t separator() const { return separator_; }
  // The identifier nextId will hand out next; reading it hands nothing out.
  std::int32_t peekNextId() const;
  // Every key in key order, taken under the lock: a view shows a large folder row by row from
  // these, reading only the records it draws.
  std::vector<std::u16string> keys() const;
  // Goes up with every change of the records (put, remove, clear, load); read without the lock,
  // so that a view can tell cheaply whether it must look again.
  std::uint64_t revision() const { return revision_.load(std::memory_order_acquire); }

 private:
  // Stored form of a record: its fields in UTF-8 joined by the separator, exactly as in the file.
  // A line loaded or written whole stays in the file (`dataFd_`) and is read back when asked
  // for: a large folder keeps only its keys and their places in memory. A line changed since is
  // held in `text`.
  struct Line {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
    std::unique_ptr<std::string> text;
  };
  using RecordMap =
      std::map<std::string, Line, Utf16KeyLess, PoolAllocator<std::pair<const std::string, Line>>>;
  using FieldTest = std::function<bool(std::string_view field)>;
  // Equality lookups ignoring case go through an index per column, made on first use: the keys
  // of the records by the folded text of the field, pointing into records_.
  struct EntryLess {
    bool operator()(RecordMap::const_iterator a, RecordMap::const_iterator b) const {
      return utf16Less(a->first, b->first);
    }
  };
  using KeySet = std::set<RecordMap::const_iterator, EntryLess>;
  using ColumnIndex = std::unordered_map<std::u16string, KeySet>;

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
  // Takes the lines of `bytes`, found at `base` in the file, into `records`; without `last`, a
  // line that no line feed ends yet is left. Returns the bytes taken.
  size_t parse(std::string_view bytes, std::uint64_t base, bool last, RecordMap& records,
               std::int64_t& largestId, Rejected& rejected) const;
  // A record's line; the view holds until the next call.
  std::string_view lineOf(const Line& line) const;
  static Line inMemory(std::string text);
  void keepRejected(const Rejected& rejected) const;
  // Takes the lock on the file now at the path (when this database doesn't hold it already); with
  // `create` a missing file is made empty. -1 with errno, EWOULDBLOCK when another holds it.
  int lockFileLocked(bool create);
  int rewriteLocked();
  int saveLocked(bool flush);
  int appendLocked();
  int journalLocked(bool flush);
  void dropJournalLocked();
  // Applies the journal to records just read from the file whose bytes are `file`; false when the
  // journal can't take further batches as it is (the next save must write the file whole).
  bool applyJournal(std::uint64_t fileSize, RecordMap& records, std::int64_t& largestId);
  size_t fieldCount(std::string_view line) const;
  // The line with empty fields added up to the number of columns.
  std::string paddedLine(std::string_view line) const;
  // True when every change of the journal is in `records` already.
  bool journalContainedIn(const JournalContents& contents, const RecordMap& records) const;
  // The keys whose field in `column` equals `value` ignoring case, or null for none.
  const KeySet* equalKeysLocked(unsigned column, std::u16string_view value) const;
  void indexLocked(RecordMap::const_iterator at);
  void unindexLocked(RecordMap::const_iterator at);
  // Removes a record, leaving its key to the next save's journal.
  void eraseLocked(RecordMap::iterator at);
  void storeLocked(std::string line);
  void trimLocked();
  // The one selection routine behind every search: records in key order whose field in `column`
  // passes `test`, at most `limit` of them when it is 1 or more.
  std::vector<DatabaseRecord> select(unsigned column, const FieldTest& test, int limit) const;
  bool firstMatching(unsigned column, const FieldTest& test, DatabaseRecord& out) const;

  std::string path_;
  std::vector<std::u16string> columns_;
  unsigned keyIndex_ = 0;
  unsigned limit_ = 0;
  char16_t separator_ = u'\t';
  std::string separatorUtf8_;
  NodePool pool_;  // the nodes of records_, and of the map a load builds
  RecordMap records_{RecordMap::allocator_type(pool_)};
  std::vector<std::string> pending_;  // keys of records still to be appended
  // Keys replaced or removed since the last save: the next save journals them.
  std::set<std::string> journalPending_;
  // Keys the journal speaks of: a record added under one of them goes to the journal too, since
  // the journal is applied after every line of the file.
  std::unordered_set<std::string> journaled_;
  std::uint64_t journalBytes_ = 0;   // length of the journal's whole batches
  unsigned unflushed_ = 0;           // batches written since the journal's last flush
  bool journalNameFlushed_ = false;  // the journal's folder entry is on the disk
  mutable std::map<unsigned, ColumnIndex> indexes_;
  bool clean_ = true;
  // Set when the file exists but couldn't be read: a rewrite would destroy what it holds.
  bool unreadable_ = false;
  // The open file this database holds its lock on, or -1.
  int lockFd_ = -1;
  // The file the lines' places point into (the one last loaded or written whole), or -1, and a
  // window of its bytes: a scan in key order reads the file front to back.
  int dataFd_ = -1;
  mutable std::string window_;
  mutable std::uint64_t windowStart_ = 0;
  std::atomic<std::uint64_t> revision_{0};
  // The revision compactWhenQuiet saw last, and since when it stands.
  std::optional<std::uint64_t> quietRevision_;
  std::int64_t quietSinceMs_ = 0;
};

}  // namespace parlane
