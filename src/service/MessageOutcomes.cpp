#include "service/MessageOutcomes.h"

#include <charconv>

#include "core/log/Logger.h"
#include "core/util/Utf8Text.h"
#include "service/KeyedJournal.h"

namespace parlane {

namespace {

constexpr char kHeader[] = "parlane outcomes 1";
constexpr char kWhat[] = "Message outcomes";

// The seconds of a stored outcome: digits with an optional minus, nothing else.
std::optional<long long> secondsOf(const std::string& text) {
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

MessageOutcomes::MessageOutcomes(std::size_t maxKept) : maxKept_(maxKept) {}

MessageOutcomes::~MessageOutcomes() = default;

void MessageOutcomes::keepIn(std::string file) {
  std::lock_guard fileLock(fileMutex_);
  journal_ = std::make_unique<KeyedJournal>(std::move(file), kHeader);
  const std::vector<JournalEntry> stored = journal_->load(kWhat);
  std::size_t unreadable = 0;
  for (const JournalEntry& entry : stored) {
    // The reason goes out in the door's JSON, which takes only UTF-8.
    const std::optional<long long> time =
        entry.fields.size() == 2 && isValidUtf8(entry.key) && isValidUtf8(entry.fields[0])
            ? secondsOf(entry.fields[1])
            : std::nullopt;
    if (!time) {
      ++unreadable;
      continue;
    }
    keep(entry.key, Outcome{entry.fields[0], *time});
  }
  if (unreadable > 0) {
    Logger::log(2, std::string(kWhat) + ": " + std::to_string(unreadable) +
                       " unreadable entries in " + journal_->path() + " skipped");
  }
  if (unreadable > 0 || stored.size() - unreadable > maxKept_) journal_->rewrite(entries());
}

void MessageOutcomes::remember(const std::string& id, Outcome outcome) {
  if (id.empty()) return;
  std::lock_guard fileLock(fileMutex_);
  JournalEntry line{id, {outcome.reason, std::to_string(outcome.time)}};
  const std::size_t kept = keep(id, std::move(outcome));
  if (!journal_) return;
  // The older ones dropped from memory stay in the file until it is written anew; loading keeps
  // only the newest anyway.
  journal_->put(line);
  if (journal_->worthCompacting(kept)) journal_->rewrite(entries());
}

std::optional<MessageOutcomes::Outcome> MessageOutcomes::find(const std::string& id) const {
  std::lock_guard lock(mutex_);
  const auto found = byId_.find(id);
  if (found == byId_.end()) return std::nullopt;
  return found->second;
}

std::size_t MessageOutcomes::keep(const std::string& id, Outcome outcome) {
  std::lock_guard lock(mutex_);
  const auto [at, added] = byId_.insert_or_assign(id, std::move(outcome));
  if (added) {
    order_.push_back(id);
    if (order_.size() > maxKept_) {
      byId_.erase(order_.front());
      order_.pop_front();
    }
  }
  return byId_.size();
}

std::vector<JournalEntry> MessageOutcomes::entries() const {
  std::lock_guard lock(mutex_);
  std::vector<JournalEntry> all;
  all.reserve(order_.size());
  for (const std::string& id : order_) {
    const Outcome& outcome = byId_.at(id);
    all.push_back(JournalEntry{id, {outcome.reason, std::to_string(outcome.time)}});
  }
  return all;
}

}  // namespace parlane
