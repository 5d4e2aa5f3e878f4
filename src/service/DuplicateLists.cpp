#include "service/DuplicateLists.h"

#include <algorithm>

#include "gsm/Numbers.h"
#include "message/GenericMessage.h"

namespace parlane {

namespace {

// Equal messages, the sender compared with or without a leading "+".
bool sameMessage(const GenericMessage& seen, const GenericMessage& message) {
  if (seen.isSame(message)) return true;
  if (seen.source == message.source || !sameNumber(seen.source, message.source)) return false;
  std::unique_ptr<GenericMessage> copy = message.clone();
  copy->source = seen.source;
  return seen.isSame(*copy);
}

}  // namespace

bool DuplicateLists::holds(const std::vector<std::unique_ptr<GenericMessage>>& list,
                           const GenericMessage& message) {
  return std::any_of(list.begin(), list.end(), [&](const std::unique_ptr<GenericMessage>& seen) {
    return sameMessage(*seen, message);
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
