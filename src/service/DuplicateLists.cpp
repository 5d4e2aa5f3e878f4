#include "service/DuplicateLists.h"

#include <algorithm>

#include "transport/message/GenericMessage.h"

namespace parlane {

bool DuplicateLists::holds(const std::vector<std::unique_ptr<GenericMessage>>& list,
                           const GenericMessage& message) {
  return std::any_of(list.begin(), list.end(), [&](const std::unique_ptr<GenericMessage>& seen) {
    return seen->isSame(message);
  });
}

bool DuplicateLists::checkAndAdd(const GenericMessage& message) {
  std::lock_guard guard(mutex_);
  if (holds(current_, message)) return true;
  current_.push_back(message.clone());
  return holds(previous_, message);
}

void DuplicateLists::rotate() {
  std::vector<std::unique_ptr<GenericMessage>> dropped;
  std::lock_guard guard(mutex_);
  dropped.swap(previous_);
  previous_.swap(current_);
}

std::size_t DuplicateLists::currentSize() const {
  std::lock_guard guard(mutex_);
  return current_.size();
}

std::size_t DuplicateLists::previousSize() const {
  std::lock_guard guard(mutex_);
  return previous_.size();
}

}  // namespace parlane
