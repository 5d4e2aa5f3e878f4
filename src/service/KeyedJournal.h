#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace parlane {

// One entry of a keyed journal: its key and its fields.
struct JournalEntry {
  std::string key;
  std::vector<std::string> fields;

  bool operator==(const JournalEntry&) const = default;
};

// The entries a journal's text leaves: a header line, then "put\tkey\tfield..." (adds an entry or
// replaces its fields in place) and "del\tkey" lines, backslash, tab and line ends escaped. In the
// order of their first "put". A line that can't be read (or a text without the header) is
// skipped and counted in `skipped`.
std::vector<JournalEntry> parseKeyedJournal(std::string_view text, std::string_view header,
                                            std::size_t& skipped);
// The line of a "put" and of a "del", with its line end.
std::string journalPutLine(const JournalEntry& entry);
std::string journalDelLine(std::string_view key);

// A small table kept beside the folders as such a journal: each change is appended and flushed
// to disk before the call returns; the file is rewritten whole (atomically) when the lines of
// removed entries outnumber the entries kept. Not thread-safe: its owner locks.
class KeyedJournal {
 public:
  KeyedJournal(std::string path, std::string header);

  // The entries the file holds (none when there is no file); unreadable lines are logged as
  // "`what`: ... skipped". The file is rewritten without the removed entries.
  std::vector<JournalEntry> load(std::string_view what);
  bool put(const JournalEntry& entry);
  bool remove(std::string_view key);
  // Whether the file has grown well past the `live` entries that remain.
  bool worthCompacting(std::size_t live) const;
  // Writes the file anew with just `live`.
  bool rewrite(const std::vector<JournalEntry>& live);

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string header_;
  std::size_t lines_ = 0;  // entry lines in the file now
};

}  // namespace parlane
