#include "engine/SlotDeletes.h"

namespace parlane {

bool SlotDeletes::freedSince(ModemSlot slot) const {
  if (allFreedAt_ && *allFreedAt_ >= slot.readAt) return true;
  const auto freed = slotFreedAt_.find(slot.index);
  return freed != slotFreedAt_.end() && freed->second >= slot.readAt;
}

void SlotDeletes::noteOne(int index) { slotFreedAt_[index] = written_++; }

void SlotDeletes::noteAll() {
  slotFreedAt_.clear();
  allFreedAt_ = written_++;
}

}  // namespace parlane
