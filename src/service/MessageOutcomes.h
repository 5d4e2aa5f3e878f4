#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace parlane {

class KeyedJournal;
struct JournalEntry;

// What a message handed in with an id of its own (its "custom" field) became, for the HTTP
// door's state requests: a failure's reason, a report's time. The newest kMaxKept; the folders
// say the rest. With keepIn() they are also kept in a file beside the folders, so that a restart
// keeps them. Any thread: find() never waits for the file.
class MessageOutcomes {
 public:
  static constexpr std::size_t kMaxKept = 10000;

  struct Outcome {
    std::string reason;  // why it failed; empty for a report
    long long time = 0;  // seconds since 1970: the failure, or the delivery the report names

    bool operator==(const Outcome&) const = default;
  };

  explicit MessageOutcomes(std::size_t maxKept = kMaxKept);
  ~MessageOutcomes();
  MessageOutcomes(const MessageOutcomes&) = delete;
  MessageOutcomes& operator=(const MessageOutcomes&) = delete;

  // Loads the newest `maxKept` that `file` holds (unreadable lines are logged and skipped) and
  // appends each change to it from now on. Once, before the first remember().
  void keepIn(std::string file);
  // A second outcome of one id replaces the first, in its place among the newest.
  void remember(const std::string& id, Outcome outcome);
  std::optional<Outcome> find(const std::string& id) const;

 private:
  // Adds to the memory, dropping the oldest beyond maxKept_; how many are kept. The caller holds
  // fileMutex_.
  std::size_t keep(const std::string& id, Outcome outcome);
  // What the memory holds, oldest first, as the file's entries.
  std::vector<JournalEntry> entries() const;

  const std::size_t maxKept_;

  // Taken before mutex_ by every change, and held while the file is written: the file's lines
  // come in the order of the changes, and readers, who take only mutex_, never wait for a disk.
  std::mutex fileMutex_;
  std::unique_ptr<KeyedJournal> journal_;
  mutable std::mutex mutex_;
  std::unordered_map<std::string, Outcome> byId_;
  std::deque<std::string> order_;
};

}  // namespace parlane
