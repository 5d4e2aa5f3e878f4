#include "storage/FolderJournal.h"

#include <charconv>
#include <cstdio>

#include "core/util/LineSplitter.h"

namespace parlane {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// The fields of a commit line after its "C".
bool parseCommit(std::string_view rest, std::size_t& changes, JournalBinding& binding) {
  std::uint64_t values[4] = {};
  for (int i = 0; i < 4; ++i) {
    if (rest.empty() || rest.front() != '\t') return false;
    rest.remove_prefix(1);
    const size_t end = std::min(rest.find('\t'), rest.size());
    const std::string_view field = rest.substr(0, end);
    const int base = i == 3 ? 16 : 10;
    const auto [at, error] =
        std::from_chars(field.data(), field.data() + field.size(), values[i], base);
    if (field.empty() || error != std::errc() || at != field.data() + field.size()) return false;
    rest.remove_prefix(end);
  }
  if (!rest.empty()) return false;
  changes = static_cast<std::size_t>(values[0]);
  binding = {values[1], values[2], values[3]};
  return true;
}

}  // namespace

std::uint64_t journalTailHash(std::string_view bytes) {
  if (bytes.size() > kJournalTailBytes) bytes.remove_prefix(bytes.size() - kJournalTailBytes);
  std::uint64_t hash = 1469598103934665603ull;
  for (char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

JournalContents parseJournal(std::string_view bytes) {
  JournalContents contents;
  JournalBatch batch;
  size_t malformedInBatch = 0;
  LineSplitter lines(bytes);
  std::string_view line;
  size_t position = 0;
  while (lines.next(line)) {
    position += lines.rawLine().size() + (lines.endedByLineFeed() ? 1 : 0);
    if (line.empty() || line.front() == '#') continue;
    // Only a line feed proves the line whole; an unfinished line is a cut batch.
    if (!lines.endedByLineFeed()) break;
    if (line.size() >= 2 && line[1] == '\t' && (line[0] == 'P' || line[0] == 'R')) {
      batch.changes.push_back({line[0] == 'R', std::string(line.substr(2))});
      continue;
    }
    size_t changes = 0;
    if (line.front() == 'C' && parseCommit(line.substr(1), changes, batch.binding)) {
      // Lines of the batch that didn't read as changes are skipped; the rest still holds.
      if (changes != batch.changes.size() && malformedInBatch == 0) ++malformedInBatch;
      contents.batches.push_back(std::move(batch));
      batch = {};
      contents.malformedLines += malformedInBatch;
      malformedInBatch = 0;
      contents.committedLength = position;
      continue;
    }
    ++malformedInBatch;
  }
  return contents;
}

std::string journalHeader() {
  return "# Parlane folder journal: changes not yet written into the folder file beside it\r\n";
}

void appendJournalPut(std::string& batch, std::string_view line) {
  batch.append("P\t").append(line).append(kLineEnd);
}

void appendJournalRemoval(std::string& batch, std::string_view key) {
  batch.append("R\t").append(key).append(kLineEnd);
}

void appendJournalCommit(std::string& batch, std::size_t changes, const JournalBinding& binding) {
  char text[96];
  std::snprintf(text, sizeof text, "C\t%zu\t%llu\t%llu\t%016llx", changes,
                static_cast<unsigned long long>(binding.size),
                static_cast<unsigned long long>(binding.inode),
                static_cast<unsigned long long>(binding.tailHash));
  batch.append(text).append(kLineEnd);
}

}  // namespace parlane
