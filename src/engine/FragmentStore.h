#pragma once

#include <compare>
#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gsm/ReceivedPdu.h"
#include "message/ModemSlot.h"

namespace parlane {

// The decoded parts of concatenated messages that wait for the rest of their message. Parts
// belong together when sender, concatenation reference and part count agree: two senders (or a
// plain message and a long one) that happen to use the same reference never mix. At most 256
// parts per message, numbered 0..255. Each part remembers when it arrived, so that a message
// whose parts wait too long can be given up, and the whole store can be written to a file and
// read back after a restart.
class FragmentStore {
 public:
  static constexpr int kMaxParts = 256;

  enum class Outcome { kStored, kDuplicate, kOutOfRange };
  struct Offer {
    Outcome outcome = Outcome::kStored;
    ModemSlot heldSlot;  // kDuplicate: where the part already held is stored
  };

  // Stores a part unless the same part is already held, or its numbers cannot belong to a
  // message (part number outside 0..255 or not below the count, count above 256). A count below
  // 1 counts as a message of one part. `arrived`: wall-clock seconds of its arrival. A duplicate
  // of a part held without a storage index lends it its index, so that its slot is freed with
  // the message.
  Offer add(ReceivedPdu part, std::time_t arrived = 0);
  // The parts of the first complete message in store order, in part order, removed from the
  // store; empty when no message is complete.
  std::vector<ReceivedPdu> takeComplete();
  // The memory slots of waiting parts stamped before `limit` that were not returned before
  // (each part is named once). They are forgotten: the slots are about to be freed.
  std::vector<ModemSlot> takeStale(std::time_t limit);
  // The memory slots of every waiting part that still names one; they are forgotten (the parts
  // are kept elsewhere, their slots are about to be freed).
  std::vector<ModemSlot> releaseSlots();
  // The parts (in part order) of every message whose first part arrived before `limit`,
  // removed from the store.
  std::vector<std::vector<ReceivedPdu>> takeExpired(std::time_t limit);
  // When the part that waits longest arrived; nothing when the store is empty.
  std::optional<std::time_t> earliestArrival() const;

  // The store as text, one line per part, and back. Reading replaces the store; lines that
  // can't be read are skipped and counted in `skipped`. Storage indexes are not read back: after
  // a restart a slot may hold another message, and a listing finds the parts still stored.
  std::string serialize() const;
  void deserialize(std::string_view text, std::size_t* skipped = nullptr);

  std::size_t size() const { return parts_.size(); }

 private:
  struct Key {
    std::int32_t reference;
    std::u16string party;
    std::int32_t total;
    std::int32_t index;
    auto operator<=>(const Key&) const = default;
  };
  struct Held {
    ReceivedPdu part;
    std::time_t arrived = 0;
    bool staleNamed = false;
  };
  using Parts = std::map<Key, Held>;

  // The parts of the message `first` begins: up to the first part of another message.
  Parts::iterator endOfMessage(Parts::iterator first);

  Parts parts_;
};

}  // namespace parlane
