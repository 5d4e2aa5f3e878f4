#include "service/CallbackQueue.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "core/log/Logger.h"
#include "core/util/ThreadName.h"
#include "service/WebhookSignature.h"

namespace parlane {

namespace {

constexpr char kHeader[] = "parlane callbacks 1";
constexpr std::size_t kFields = 5;  // created, method, url, what, body
constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

void log(int level, const std::string& text) { Logger::log(level, "Callback: " + text); }

template <typename Number>
bool numberOf(const std::string& text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

std::string shown(const std::string& origin) { return origin.empty() ? "(no receiver)" : origin; }

}  // namespace

CallbackQueue::CallbackQueue(std::string file, const Clock& clock,
                             std::function<std::string()> secret, std::size_t maxWaiting)
    : clock_(clock),
      secret_(std::move(secret)),
      maxWaiting_(std::max<std::size_t>(maxWaiting, 1)),
      journal_(std::move(file), kHeader) {
  std::size_t unreadable = 0;
  for (JournalEntry& stored : journal_.load("Callback")) {
    Entry entry;
    long long created = 0;
    if (stored.fields.size() != kFields || !numberOf(stored.key, entry.sequence) ||
        !numberOf(stored.fields[0], created)) {
      ++unreadable;
      continue;
    }
    entry.created = static_cast<std::time_t>(created);
    entry.callback = QueuedCallback{std::move(stored.fields[1]), std::move(stored.fields[2]),
                                    std::move(stored.fields[4]), std::move(stored.fields[3])};
    nextSequence_ = std::max(nextSequence_, entry.sequence + 1);
    entries_.push_back(std::move(entry));
  }
  if (unreadable > 0) {
    log(2, std::to_string(unreadable) + " unreadable entr" + (unreadable == 1 ? "y" : "ies") +
               " in " + journal_.path() + " skipped");
    journal_.rewrite(liveEntries());
  }
  if (!entries_.empty()) {
    log(0, std::to_string(entries_.size()) + " callback(s) kept from the last run wait");
  }
}

CallbackQueue::~CallbackQueue() { stop(); }

void CallbackQueue::start() {
  if (thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stop_ = false;
  }
  thread_ = std::thread([this] { run(); });
  nameThread(thread_, "callbacks");
}

void CallbackQueue::stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wakeUp_.notify_all();
  fetch_.abort();
  if (thread_.joinable()) thread_.join();
}

void CallbackQueue::add(QueuedCallback callback) {
  {
    std::lock_guard lock(mutex_);
    if (entries_.size() >= maxWaiting_) {
      drop(entries_.begin(), std::to_string(maxWaiting_) + " callbacks wait already");
    }
    Entry entry{nextSequence_++, clock_.wallSeconds(), std::move(callback)};
    journal_.put(
        JournalEntry{std::to_string(entry.sequence),
                     {std::to_string(static_cast<long long>(entry.created)), entry.callback.method,
                      entry.callback.url, entry.callback.what, entry.callback.body}});
    entries_.push_back(std::move(entry));
    added_ = true;
  }
  wakeUp_.notify_all();
}

void CallbackQueue::wake() {
  {
    std::lock_guard lock(mutex_);
    added_ = true;
  }
  wakeUp_.notify_all();
}

std::size_t CallbackQueue::waiting() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

std::size_t CallbackQueue::delivered() const {
  std::lock_guard lock(mutex_);
  return delivered_;
}

std::size_t CallbackQueue::failedTries() const {
  std::lock_guard lock(mutex_);
  return failedTries_;
}

void CallbackQueue::run() {
  std::unique_lock lock(mutex_);
  while (!stop_) {
    std::int64_t dueMs = kNever;
    const Entry* entry = nextDue(dueMs);
    if (entry == nullptr) {
      added_ = false;
      const auto woken = [this] { return stop_ || added_; };
      if (dueMs == kNever) {
        wakeUp_.wait(lock, woken);
      } else {
        clock_.waitUntil(wakeUp_, lock, dueMs, woken);
      }
      continue;
    }
    // Copied: the entry may be dropped while the request is under way.
    const std::uint64_t sequence = entry->sequence;
    CallbackCall call{entry->callback.method, entry->callback.url, entry->callback.body, {}};
    const std::string origin = urlOrigin(call.url);
    lock.unlock();
    if (call.method == "POST") {
      const std::string secret = secret_ ? secret_() : std::string();
      if (!secret.empty())
        call.headers.emplace_back("X-Parlane-Signature", webhookSignature(call.body, secret));
    }
    const CallbackAnswer answer = fetch_.fetch(call);
    lock.lock();
    // Cut off by the stop: tried again after the next start.
    if (stop_ && !answer.delivered()) break;
    settle(sequence, answer, origin);
  }
}

const CallbackQueue::Entry* CallbackQueue::nextDue(std::int64_t& dueMs) {
  const std::int64_t now = clock_.monotonicMs();
  const std::time_t wall = clock_.wallSeconds();
  for (auto entry = entries_.begin(); entry != entries_.end();) {
    if (wall - entry->created >= kGiveUpSeconds) {
      drop(entry, "not delivered within 24 hours");
      // The erase left no iterator valid.
      entry = entries_.begin();
      continue;
    }
    const auto receiver = receivers_.find(urlOrigin(entry->callback.url));
    if (receiver != receivers_.end() && receiver->second.nextTryMs > now) {
      dueMs = std::min(dueMs, receiver->second.nextTryMs);
      ++entry;
      continue;
    }
    return &*entry;
  }
  return nullptr;
}

void CallbackQueue::drop(std::deque<Entry>::iterator entry, const std::string& why) {
  log(2, "the " + entry->callback.what + " to " + shown(urlOrigin(entry->callback.url)) +
             " is dropped: " + why);
  journal_.remove(std::to_string(entry->sequence));
  entries_.erase(entry);
}

void CallbackQueue::settle(std::uint64_t sequence, const CallbackAnswer& answer,
                           const std::string& origin) {
  const auto entry = std::find_if(entries_.begin(), entries_.end(),
                                  [sequence](const Entry& e) { return e.sequence == sequence; });
  if (answer.delivered()) {
    receivers_.erase(origin);
    ++delivered_;
    if (entry == entries_.end()) return;
    log(0, "the " + entry->callback.what + " was delivered to " + origin + " (HTTP " +
               std::to_string(answer.status) + ")");
    journal_.remove(std::to_string(sequence));
    entries_.erase(entry);
    if (journal_.worthCompacting(entries_.size())) journal_.rewrite(liveEntries());
    return;
  }
  ++failedTries_;
  const std::string outcome =
      answer.status != 0 ? "HTTP " + std::to_string(answer.status) : answer.error;
  if (origin.empty()) {
    if (entry != entries_.end()) drop(entry, outcome);
    return;
  }
  Receiver& receiver = receivers_[origin];
  receiver.failures = std::min(receiver.failures + 1, 20);
  const std::int64_t pause = std::min(kFirstPauseMs << (receiver.failures - 1), kLongestPauseMs);
  receiver.nextTryMs = clock_.monotonicMs() + pause;
  if (entry != entries_.end()) {
    log(1, "the " + entry->callback.what + " to " + origin + " was not delivered (" + outcome +
               "); next try in " + std::to_string(pause / 1000) + " s");
  }
}

std::vector<JournalEntry> CallbackQueue::liveEntries() const {
  std::vector<JournalEntry> live;
  live.reserve(entries_.size());
  for (const Entry& entry : entries_) {
    live.push_back(
        JournalEntry{std::to_string(entry.sequence),
                     {std::to_string(static_cast<long long>(entry.created)), entry.callback.method,
                      entry.callback.url, entry.callback.what, entry.callback.body}});
  }
  return live;
}

}  // namespace parlane
