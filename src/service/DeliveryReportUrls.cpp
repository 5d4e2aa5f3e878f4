#include "service/DeliveryReportUrls.h"

#include <algorithm>
#include <charconv>

#include "core/log/Logger.h"
#include "core/util/Utf.h"
#include "gsm/Numbers.h"

namespace parlane {

namespace {

constexpr char kHeader[] = "parlane report urls 1";
// mask, created, receiver, sender, reference, sent to, url
constexpr std::size_t kFields = 7;

JournalEntry journalEntry(const DeliveryReportUrl& e) {
  return JournalEntry{e.id,
                      {std::to_string(e.mask), std::to_string(static_cast<long long>(e.created)),
                       e.receiver, e.sender, e.reference, e.sentTo, e.url}};
}

template <typename Number>
bool numberOf(const std::string& text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

}  // namespace

DeliveryReportUrls::DeliveryReportUrls(std::string file, std::time_t now)
    : journal_(std::move(file), kHeader) {
  std::size_t unreadable = 0;
  std::size_t old = 0;
  for (JournalEntry& stored : journal_.load("Delivery report URLs")) {
    DeliveryReportUrl entry;
    long long created = 0;
    if (stored.fields.size() != kFields || !numberOf(stored.fields[0], entry.mask) ||
        !numberOf(stored.fields[1], created)) {
      ++unreadable;
      continue;
    }
    entry.created = static_cast<std::time_t>(created);
    if (now - entry.created > kKeepSeconds) {
      ++old;
      continue;
    }
    entry.id = std::move(stored.key);
    entry.receiver = std::move(stored.fields[2]);
    entry.sender = std::move(stored.fields[3]);
    entry.reference = std::move(stored.fields[4]);
    entry.sentTo = std::move(stored.fields[5]);
    entry.url = std::move(stored.fields[6]);
    entries_.push_back(std::move(entry));
  }
  if (unreadable > 0) {
    Logger::log(
        2, "Delivery report URLs: " + std::to_string(unreadable) + " unreadable entries skipped");
  }
  if (old > 0) {
    Logger::log(1, "Delivery report URLs: " + std::to_string(old) +
                       " message(s) got no report within 7 days; their URLs are forgotten");
  }
  if (unreadable + old > 0) {
    std::vector<JournalEntry> live;
    for (const DeliveryReportUrl& entry : entries_) live.push_back(journalEntry(entry));
    journal_.rewrite(live);
  }
}

void DeliveryReportUrls::add(DeliveryReportUrl entry) {
  std::lock_guard lock(mutex_);
  std::erase_if(entries_, [&](const DeliveryReportUrl& e) { return e.id == entry.id; });
  store(entry);
  entries_.push_back(std::move(entry));
}

void DeliveryReportUrls::remove(const std::string& id) {
  std::lock_guard lock(mutex_);
  if (std::erase_if(entries_, [&](const DeliveryReportUrl& e) { return e.id == id; }) == 0) return;
  journal_.remove(id);
  if (journal_.worthCompacting(entries_.size())) {
    std::vector<JournalEntry> live;
    for (const DeliveryReportUrl& entry : entries_) live.push_back(journalEntry(entry));
    journal_.rewrite(live);
  }
}

std::optional<DeliveryReportUrl> DeliveryReportUrls::find(const std::string& id) const {
  std::lock_guard lock(mutex_);
  for (const DeliveryReportUrl& entry : entries_) {
    if (entry.id == id) return entry;
  }
  return std::nullopt;
}

std::optional<DeliveryReportUrl> DeliveryReportUrls::findSent(const std::string& reference,
                                                              const std::string& number) const {
  std::lock_guard lock(mutex_);
  // References repeat once the modem's counter wraps: the newest one is meant.
  for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry) {
    if (!entry->reference.empty() && entry->reference == reference &&
        sameNumber(fromUtf8(entry->sentTo), fromUtf8(number))) {
      return *entry;
    }
  }
  return std::nullopt;
}

void DeliveryReportUrls::setSent(const std::string& id, const std::string& reference,
                                 const std::string& sentTo) {
  std::lock_guard lock(mutex_);
  for (auto entry = entries_.begin(); entry != entries_.end(); ++entry) {
    if (entry->id != id) continue;
    entry->reference = reference;
    entry->sentTo = sentTo;
    store(*entry);
    // Kept in the order they were sent, for findSent's newest first.
    std::rotate(entry, entry + 1, entries_.end());
    return;
  }
}

std::size_t DeliveryReportUrls::size() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

void DeliveryReportUrls::store(const DeliveryReportUrl& entry) {
  journal_.put(journalEntry(entry));
}

}  // namespace parlane
