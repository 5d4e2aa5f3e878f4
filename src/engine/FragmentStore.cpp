#include "engine/FragmentStore.h"

#include <iterator>
#include <utility>

namespace parlane {

FragmentStore::Offer FragmentStore::add(ReceivedPdu part) {
  if (part.total < 1) part.total = 1;
  if (part.index < 0 || part.index >= kMaxParts || part.total > kMaxParts ||
      part.index >= part.total) {
    return {Outcome::kOutOfRange, -1};
  }
  Key key{part.reference, part.party, part.total, part.index};
  const auto held = parts_.find(key);
  if (held != parts_.end()) return {Outcome::kDuplicate, held->second.part.memoryIndex};
  parts_.emplace(std::move(key), Held{std::move(part)});
  return {Outcome::kStored, -1};
}

std::vector<ReceivedPdu> FragmentStore::takeComplete() {
  auto first = parts_.begin();
  while (first != parts_.end()) {
    // The parts of one message stand together, in part order; each number appears once and is
    // below the count, so the message is complete when it has as many parts as it says.
    auto last = first;
    std::int32_t count = 0;
    while (last != parts_.end() && last->first.reference == first->first.reference &&
           last->first.party == first->first.party && last->first.total == first->first.total) {
      ++count;
      ++last;
    }
    if (count == first->first.total) {
      std::vector<ReceivedPdu> message;
      message.reserve(static_cast<std::size_t>(count));
      for (auto it = first; it != last; ++it) message.push_back(std::move(it->second.part));
      parts_.erase(first, last);
      return message;
    }
    first = last;
  }
  return {};
}

std::vector<int> FragmentStore::takeStale(std::time_t limit) {
  std::vector<int> indexes;
  for (auto& [key, held] : parts_) {
    if (held.staleNamed || held.part.time >= limit) continue;
    held.staleNamed = true;
    if (held.part.memoryIndex >= 0) indexes.push_back(held.part.memoryIndex);
  }
  return indexes;
}

}  // namespace parlane
