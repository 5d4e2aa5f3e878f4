#include "engine/HeldNotices.h"

#include <utility>

#include "transport/AsyncEvent.h"

namespace parlane {

bool HeldNotices::hold(const AsyncEvent& notice, const std::function<bool()>& holding) {
  std::lock_guard guard(mutex_);
  if (!holding()) return false;
  held_.push_back(std::make_unique<AsyncEvent>(notice));
  return true;
}

std::vector<std::unique_ptr<AsyncEvent>> HeldNotices::release() {
  std::lock_guard guard(mutex_);
  return std::exchange(held_, {});
}

}  // namespace parlane
