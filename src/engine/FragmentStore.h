#pragma once

#include <compare>
#include <cstdint>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "gsm/ReceivedPdu.h"

namespace parlane {

// The decoded parts of concatenated messages that wait for the rest of their message. Parts
// belong together when sender, concatenation reference and part count agree: two senders (or a
// plain message and a long one) that happen to use the same reference never mix. At most 256
// parts per message, numbered 0..255.
class FragmentStore {
 public:
  static constexpr int kMaxParts = 256;

  enum class Outcome { kStored, kDuplicate, kOutOfRange };
  struct Offer {
    Outcome outcome = Outcome::kStored;
    int heldMemoryIndex = -1;  // kDuplicate: where the part already held is stored
  };

  // Stores a part unless the same part is already held, or its numbers cannot belong to a
  // message (part number outside 0..255 or not below the count, count above 256). A count below
  // 1 counts as a message of one part.
  Offer add(ReceivedPdu part);
  // The parts of the first complete message in store order, in part order, removed from the
  // store; empty when no message is complete.
  std::vector<ReceivedPdu> takeComplete();
  // The memory indexes of waiting parts stamped before `limit` that were not returned before
  // (each part is named once).
  std::vector<int> takeStale(std::time_t limit);

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
    bool staleNamed = false;
  };

  std::map<Key, Held> parts_;
};

}  // namespace parlane
