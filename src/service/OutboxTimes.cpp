#include "service/OutboxTimes.h"

namespace parlane {

bool OutboxTimes::track(const std::u16string& id, MessageTime notBefore, MessageTime expires,
                        MessageTime now) {
  forget(id);
  Times times;
  if (notBefore > now) times.notBefore = notBefore;
  if (expires > 0) times.expires = expires;
  if (times.notBefore == 0 && times.expires == 0) return false;
  times_[id] = times;
  if (times.notBefore != 0) waiting_.emplace(times.notBefore, id);
  if (times.expires != 0) expiring_.emplace(times.expires, id);
  return times.notBefore != 0;
}

void OutboxTimes::forget(const std::u16string& id) {
  const auto found = times_.find(id);
  if (found == times_.end()) return;
  waiting_.erase(Entry{found->second.notBefore, id});
  expiring_.erase(Entry{found->second.expires, id});
  times_.erase(found);
}

bool OutboxTimes::waits(const std::u16string& id) const {
  const auto found = times_.find(id);
  return found != times_.end() && found->second.notBefore != 0;
}

std::vector<std::u16string> OutboxTimes::takeDue(MessageTime now) {
  std::vector<std::u16string> due;
  while (!waiting_.empty() && waiting_.begin()->first <= now) {
    const std::u16string id = waiting_.begin()->second;
    waiting_.erase(waiting_.begin());
    Times& times = times_[id];
    times.notBefore = 0;
    if (times.expires == 0) times_.erase(id);
    due.push_back(id);
  }
  return due;
}

std::vector<std::u16string> OutboxTimes::takeExpired(MessageTime now) {
  std::vector<std::u16string> expired;
  while (!expiring_.empty() && expiring_.begin()->first <= now) {
    const std::u16string id = expiring_.begin()->second;
    forget(id);
    expired.push_back(id);
  }
  return expired;
}

std::optional<MessageTime> OutboxTimes::next() const {
  std::optional<MessageTime> earliest;
  if (!waiting_.empty()) earliest = waiting_.begin()->first;
  if (!expiring_.empty() && (!earliest || expiring_.begin()->first < *earliest)) {
    earliest = expiring_.begin()->first;
  }
  return earliest;
}

}  // namespace parlane
