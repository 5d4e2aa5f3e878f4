#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace parlane {

// The journal beside a folder file ("<file>.journal") holds the replacements and removals made
// since the folder file was last written whole, so that one of them costs one short append
// instead of a rewrite. It is text, one change per line:
//   P <TAB> the record's whole line      the record now reads so (added or replaced)
//   R <TAB> key                          the record is gone
//   C <TAB> changes <TAB> size <TAB> inode <TAB> tail hash
// A batch of changes counts only once its commit line "C" is complete. The commit binds the
// batch to the folder file as it stood: its size, its inode and a hash of its last bytes before
// that size. Records appended to the folder file later leave that part as it was; a folder file
// that another program replaced does not match, and the journal is not applied to it.
struct JournalBinding {
  std::uint64_t size = 0;
  std::uint64_t inode = 0;
  std::uint64_t tailHash = 0;
};

struct JournalChange {
  bool removal = false;
  std::string text;  // the record's line, or the key of a removal
};

struct JournalBatch {
  std::vector<JournalChange> changes;
  JournalBinding binding;
};

struct JournalContents {
  std::vector<JournalBatch> batches;
  // Bytes up to the end of the last whole batch; what follows is a batch a crash cut short.
  std::size_t committedLength = 0;
  std::size_t malformedLines = 0;
};

// How many bytes before the bound size the tail hash covers.
inline constexpr std::size_t kJournalTailBytes = 4096;

// The hash of the last kJournalTailBytes bytes of `bytes` (all of them when fewer).
std::uint64_t journalTailHash(std::string_view bytes);

JournalContents parseJournal(std::string_view bytes);

std::string journalHeader();
void appendJournalPut(std::string& batch, std::string_view line);
void appendJournalRemoval(std::string& batch, std::string_view key);
void appendJournalCommit(std::string& batch, std::size_t changes, const JournalBinding& binding);

}  // namespace parlane
