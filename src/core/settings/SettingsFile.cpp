// The configuration file back end of SettingsStore: UTF-8 "key=value" lines, where comments,
// unknown lines and the order of lines survive a save.
#include <algorithm>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/settings/SettingsStore.h"
#include "core/util/FileIo.h"
#include "core/util/LineSplitter.h"
#include "core/util/Utf.h"

namespace parlane {

namespace {

struct ParsedFile {
  std::vector<std::string> lines;
  std::vector<std::pair<std::string, std::u16string>> settings;
};

ParsedFile parseFile(std::string_view bytes) {
  ParsedFile parsed;
  // Editors on other systems often start UTF-8 files with a byte-order mark; it is not part of the
  // first key, and the file is written back without it. Every mark at the very start goes: one
  // left behind would start the saved file and be taken off at the next load, so a save would
  // not read back as it was.
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  while (bytes.starts_with(kByteOrderMark)) bytes.remove_prefix(kByteOrderMark.size());
  // Only a line feed ends a line here: a carriage return at the very end is part of the value.
  LineSplitter lines(bytes, LineSplitter::kKeepLastCarriageReturn);
  std::string_view line;
  while (lines.next(line)) {
    parsed.lines.emplace_back(line);
    // Comments ("#") and lines starting with "=" are kept but never read as settings.
    const size_t equals = line.find('=');
    if (!line.empty() && line[0] != '#' && line[0] != '=' && equals != std::string_view::npos) {
      parsed.settings.emplace_back(std::string(line.substr(0, equals)),
                                   fromUtf8(line.substr(equals + 1)));
    }
  }
  return parsed;
}

// The part of a line before its first "=", which is the key when the line is a setting.
std::string_view lineKey(std::string_view line) {
  const size_t equals = line.find('=');
  return equals == std::string_view::npos ? std::string_view() : line.substr(0, equals);
}

}  // namespace

bool SettingsStore::loadFromFile(const std::string& path) {
  const auto bytes = readWholeFile(path);
  if (!bytes) return false;
  return loadFromText(*bytes);
}

bool SettingsStore::loadFromText(std::string_view bytes) {
  ParsedFile parsed = parseFile(bytes);
  std::lock_guard lock(mutex_);
  fileLines_ = std::move(parsed.lines);
  for (auto& [key, value] : parsed.settings) {
    values_.insert_or_assign(std::move(key), std::move(value));
  }
  return true;
}

std::string SettingsStore::toFileText() {
  std::lock_guard lock(mutex_);
  // First line for each key, so that merging stays linear on big files. A key holding "=" can't
  // be found this way and falls back to a scan.
  std::unordered_map<std::string, size_t> firstLineOfKey;
  for (size_t i = 0; i < fileLines_.size(); ++i) {
    if (fileLines_[i].find('=') != std::string::npos) {
      firstLineOfKey.try_emplace(std::string(lineKey(fileLines_[i])), i);
    }
  }
  for (const auto& [key, value] : values_) {
    std::string line = key + "=" + toUtf8(value);
    // The file has no escapes: a line feed inside a value (a typed recipient, a value that came
    // from the registry) would end the setting there and turn the rest into a line of its own,
    // possibly another setting. A blank keeps the value on its one line; a lone CR is harmless.
    std::replace(line.begin() + static_cast<std::ptrdiff_t>(key.size()), line.end(), '\n', ' ');
    if (key.find('=') == std::string::npos) {
      const auto found = firstLineOfKey.find(key);
      if (found != firstLineOfKey.end()) {
        fileLines_[found->second] = std::move(line);
      } else {
        firstLineOfKey.emplace(key, fileLines_.size());
        fileLines_.push_back(std::move(line));
      }
      continue;
    }
    const std::string_view prefix(line.data(), key.size() + 1);
    bool replaced = false;
    for (auto& existing : fileLines_) {
      if (existing.starts_with(prefix)) {
        existing = std::move(line);
        replaced = true;
        break;
      }
    }
    if (!replaced) fileLines_.push_back(std::move(line));
  }
  size_t size = 0;
  for (const auto& line : fileLines_) size += line.size() + 2;
  std::string text;
  text.reserve(size);
  for (const auto& line : fileLines_) {
    text += line;
    text += "\r\n";
  }
  return text;
}

bool SettingsStore::saveToFile(const std::string& path) {
  // Written through a temporary file and a rename: a crash or a full disk during the save leaves
  // the previous configuration whole.
  return writeFileAtomically(path, toFileText(), kPrivateFileMode);
}

}  // namespace parlane
