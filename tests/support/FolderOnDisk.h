#pragma once

#include <sys/stat.h>

#include <map>
#include <string>

#include "storage/FolderJournal.h"
#include "support/TempDir.h"

namespace parlane::test {

// A folder as it stands on disk, what a start after a crash would load: the lines of the folder
// file `name` in `dir` with its journal applied, in key order, each ending in CR LF.
inline std::string folderOnDisk(const TempDir& dir, const std::string& name) {
  std::map<std::string, std::string> lines;
  const std::string text = dir.read(name);
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines[line.substr(0, line.find('\t'))] = line;
    start = end + 1;
  }
  struct stat st {};
  if (::stat(dir.file(name + ".journal").c_str(), &st) == 0) {
    for (const JournalBatch& batch : parseJournal(dir.read(name + ".journal")).batches) {
      for (const JournalChange& change : batch.changes) {
        if (change.removal) {
          lines.erase(change.text);
        } else {
          lines[change.text.substr(0, change.text.find('\t'))] = change.text;
        }
      }
    }
  }
  std::string folder;
  for (const auto& entry : lines) folder += entry.second + "\r\n";
  return folder;
}

}  // namespace parlane::test
