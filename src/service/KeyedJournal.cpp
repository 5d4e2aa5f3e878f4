#include "service/KeyedJournal.h"

#include <cerrno>
#include <unordered_map>

#include "core/log/Logger.h"
#include "core/util/ErrorText.h"
#include "core/util/FileIo.h"
#include "core/util/Utf.h"
#include "service/FieldEscaping.h"

namespace parlane {

namespace {

// Below this many lines a rewrite is never worth it.
constexpr std::size_t kCompactionFloor = 256;

std::vector<std::string_view> tabFields(std::string_view line) {
  std::vector<std::string_view> parts;
  for (std::size_t begin = 0;;) {
    const std::size_t tab = line.find('\t', begin);
    parts.push_back(line.substr(begin, tab == std::string_view::npos ? tab : tab - begin));
    if (tab == std::string_view::npos) break;
    begin = tab + 1;
  }
  return parts;
}

std::string systemError(int errnum) { return toUtf8(errorText(errnum)); }

}  // namespace

std::vector<JournalEntry> parseKeyedJournal(std::string_view text, std::string_view header,
                                            std::size_t& skipped) {
  std::vector<JournalEntry> entries;
  std::unordered_map<std::string, std::size_t> where;
  std::vector<bool> removed;
  skipped = 0;
  bool first = true;
  bool headed = false;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (first) {
      first = false;
      headed = line == header;
      if (headed) continue;
    }
    if (line.empty()) continue;
    const std::vector<std::string_view> parts = tabFields(line);
    JournalEntry entry;
    bool good =
        headed && parts.size() >= 2 && unescapeField(parts[1], entry.key) && !entry.key.empty();
    if (good && parts[0] == "del" && parts.size() == 2) {
      const auto found = where.find(entry.key);
      if (found != where.end()) {
        removed[found->second] = true;
        where.erase(found);
      }
      continue;
    }
    good = good && parts[0] == "put";
    for (std::size_t i = 2; good && i < parts.size(); ++i) {
      good = unescapeField(parts[i], entry.fields.emplace_back());
    }
    if (!good) {
      ++skipped;
      continue;
    }
    const auto found = where.find(entry.key);
    if (found != where.end()) {
      entries[found->second].fields = std::move(entry.fields);
    } else {
      where.emplace(entry.key, entries.size());
      entries.push_back(std::move(entry));
      removed.push_back(false);
    }
  }
  std::vector<JournalEntry> live;
  live.reserve(where.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (!removed[i]) live.push_back(std::move(entries[i]));
  }
  return live;
}

std::string journalPutLine(const JournalEntry& entry) {
  std::string line = "put\t" + escapedField(entry.key);
  for (const std::string& field : entry.fields) line += "\t" + escapedField(field);
  return line + "\n";
}

std::string journalDelLine(std::string_view key) { return "del\t" + escapedField(key) + "\n"; }

KeyedJournal::KeyedJournal(std::string path, std::string header)
    : path_(std::move(path)), header_(std::move(header)) {}

std::vector<JournalEntry> KeyedJournal::load(std::string_view what) {
  const std::optional<std::string> text = readWholeFile(path_);
  if (!text) {
    if (errno != ENOENT) {
      Logger::log(2, std::string(what) + ": can't read " + path_ + " (" + systemError(errno) + ")");
    }
    return {};
  }
  std::size_t skipped = 0;
  std::vector<JournalEntry> entries = parseKeyedJournal(*text, header_, skipped);
  if (skipped > 0) {
    Logger::log(2, std::string(what) + ": " + std::to_string(skipped) + " unreadable line(s) in " +
                       path_ + " skipped");
  }
  rewrite(entries);
  return entries;
}

bool KeyedJournal::put(const JournalEntry& entry) {
  if (lines_ == 0 && !rewrite({})) return false;
  if (!appendToFile(path_, journalPutLine(entry))) {
    Logger::log(3, "Can't write " + path_ + " (" + systemError(errno) + ")");
    return false;
  }
  ++lines_;
  return true;
}

bool KeyedJournal::remove(std::string_view key) {
  if (!appendToFile(path_, journalDelLine(key))) {
    Logger::log(3, "Can't write " + path_ + " (" + systemError(errno) + ")");
    return false;
  }
  ++lines_;
  return true;
}

bool KeyedJournal::worthCompacting(std::size_t live) const {
  return lines_ > kCompactionFloor && lines_ > 2 * live;
}

bool KeyedJournal::rewrite(const std::vector<JournalEntry>& live) {
  std::string text = header_ + "\n";
  for (const JournalEntry& entry : live) text += journalPutLine(entry);
  if (!writeFileAtomically(path_, text)) {
    Logger::log(3, "Can't write " + path_ + " (" + systemError(errno) + ")");
    return false;
  }
  // The header counts as a line, so that an empty file is not written again for each put.
  lines_ = live.size() + 1;
  return true;
}

}  // namespace parlane
