#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "storage/DatabaseRecord.h"

namespace parlane {

class SettingsStore;

// A table of text records kept under a key column. The identifier counter lives here; storage
// and searches are the concrete database's. Every operation holds the database's one lock for its
// whole duration and never calls into another database while holding it.
class GenericDatabase {
 public:
  // Selection modes of selectByNumber.
  static constexpr int kGreaterThan = 0;
  static constexpr int kLessThan = 1;

  // Reads the next identifier from name + ".id".
  GenericDatabase(std::u16string name, SettingsStore& settings);
  virtual ~GenericDatabase();
  GenericDatabase(const GenericDatabase&) = delete;
  GenericDatabase& operator=(const GenericDatabase&) = delete;

  // Returns the next identifier and moves on; name + ".id" always holds the one handed out next.
  virtual std::int32_t nextId();
  // nextId as eight lowercase hexadecimal digits.
  virtual std::u16string newIdText();

  // 0 on success, -1 (errno set) when the file can't be read; memory is then left as it was.
  virtual int load(bool resetIds) = 0;
  virtual int flush() = 0;
  // Recreates the file empty. 0, or -1 (errno set).
  virtual int truncate() = 0;
  // Writes what changed. 0, or -1 (errno set) with nothing lost: the next save tries again.
  virtual int save() = 0;
  // Like save(), except that a replacement or removal may wait in the system's cache for a later
  // save to flush it to the disk: for a change that start-up can tell again when a power cut
  // loses it. Only a few such saves in a row wait; the next one flushes them all.
  virtual int saveWithoutFlush() { return save(); }

  virtual bool get(std::u16string_view key, DatabaseRecord& out) const = 0;
  virtual void putOwned(std::unique_ptr<DatabaseRecord> record) = 0;
  virtual void put(const DatabaseRecord& record) = 0;
  virtual void remove(std::u16string_view key) = 0;
  virtual void clear() = 0;
  virtual std::size_t count() const = 0;

  // Searches go in key order and compare ignoring case. A limit of 1 or more caps the result.
  virtual std::vector<DatabaseRecord> selectMatchingAll(const std::vector<unsigned>& columns,
                                                        const std::vector<std::u16string>& values,
                                                        int limit) const = 0;
  virtual std::vector<DatabaseRecord> selectEqual(unsigned column, std::u16string_view value,
                                                  int limit) const = 0;
  virtual bool findFirstEqual(unsigned column, std::u16string_view value,
                              DatabaseRecord& out) const = 0;
  virtual std::vector<DatabaseRecord> selectNotEqual(unsigned column, std::u16string_view value,
                                                     int limit) const = 0;
  virtual bool findFirstNotEqual(unsigned column, std::u16string_view value,
                                 DatabaseRecord& out) const = 0;
  virtual bool findFirst(unsigned column, std::u16string_view value, DatabaseRecord& out) const = 0;
  virtual std::vector<DatabaseRecord> selectContaining(unsigned column, std::u16string_view text,
                                                       int limit) const = 0;
  virtual bool findFirstContaining(unsigned column, std::u16string_view text,
                                   DatabaseRecord& out) const = 0;
  virtual std::vector<DatabaseRecord> selectNotContaining(unsigned column, std::u16string_view text,
                                                          int limit) const = 0;
  virtual bool findFirstNotContaining(unsigned column, std::u16string_view text,
                                      DatabaseRecord& out) const = 0;
  // The record with the largest value in the column (integers or plain text); the first one
  // in key order wins a tie. False when there is none.
  virtual bool findMaximum(unsigned column, bool numeric, DatabaseRecord& out) const = 0;
  // Records whose column, read as an integer, is greater than (kGreaterThan) or smaller than
  // (kLessThan) the number.
  virtual std::vector<DatabaseRecord> selectByNumber(unsigned column, int number, int mode,
                                                     int limit) const = 0;

  // The record with the largest key whose column equals the value (ignoring case) and that
  // `accept` takes, trying the newest first. `accept` may run under the database's lock: it must
  // not call into the database.
  using RecordTest = std::function<bool(const DatabaseRecord&)>;
  virtual bool findLastEqual(unsigned column, std::u16string_view value, const RecordTest& accept,
                             DatabaseRecord& out) const;

  const std::u16string& name() const { return name_; }

 protected:
  std::u16string name_;
  SettingsStore& settings_;
  std::int32_t nextId_ = 0;
  mutable std::mutex mutex_;
};

}  // namespace parlane
