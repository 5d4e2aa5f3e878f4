#pragma once

#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "message/MessageTime.h"

namespace parlane {

// The times of the outbox records that have them: the ones held back until their "not before"
// time, and the expiry of every record that has one. Plain bookkeeping; its owner locks.
class OutboxTimes {
 public:
  // Record `id` with its times (0: none); it waits when `notBefore` is later than `now`. True
  // when it waits.
  bool track(const std::u16string& id, MessageTime notBefore, MessageTime expires, MessageTime now);
  // Record `id` left the outbox or is in the sender's hands.
  void forget(const std::u16string& id);

  bool waits(const std::u16string& id) const;
  // The records whose "not before" time has come, earliest first; they wait no more.
  std::vector<std::u16string> takeDue(MessageTime now);
  // The records whose expiry has come, earliest first; they are forgotten.
  std::vector<std::u16string> takeExpired(MessageTime now);
  // The earliest time something is to be done: a waiting record's "not before" or an expiry.
  std::optional<MessageTime> next() const;

  std::size_t waitingCount() const { return waiting_.size(); }

 private:
  using Entry = std::pair<MessageTime, std::u16string>;
  struct Times {
    MessageTime notBefore = 0;  // 0: it does not wait
    MessageTime expires = 0;
  };

  std::set<Entry> waiting_;
  std::set<Entry> expiring_;
  std::unordered_map<std::u16string, Times> times_;
};

}  // namespace parlane
