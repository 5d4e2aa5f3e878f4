#pragma once

#include <cstdint>
#include <map>
#include <optional>

#include "message/ModemSlot.h"

namespace parlane {

// The deletes of modem memory slots the sender has written, counted, so that a delete of the slot
// a message was read from can tell whether another delete freed it after the read: a message read
// twice (a listing and its own notice) is deleted once, and never the message that took the slot
// since. Used by the sending thread only.
class SlotDeletes {
 public:
  // The deletes written so far: the stamp of a read made now.
  std::uint64_t written() const { return written_; }
  // Whether a delete of the slot was written after the read stamped `slot.readAt`.
  bool freedSince(ModemSlot slot) const;
  void noteOne(int index);
  void noteAll();

 private:
  std::uint64_t written_ = 0;
  // The stamp each slot's last delete was written at.
  std::map<int, std::uint64_t> slotFreedAt_;
  std::optional<std::uint64_t> allFreedAt_;
};

}  // namespace parlane
