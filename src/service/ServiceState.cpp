#include "service/ServiceState.h"

namespace parlane {

void ServiceState::raiseErrors() {
  int errors = errors_.load();
  while (errors < kMaxErrors && !errors_.compare_exchange_weak(errors, errors + 1)) {
  }
}

void ServiceState::lowerErrors() {
  int errors = errors_.load();
  while (errors > 0 && !errors_.compare_exchange_weak(errors, errors - 1)) {
  }
}

std::optional<ReceivedMessageSummary> ServiceState::lastReceived() const {
  std::lock_guard guard(lastMutex_);
  return last_;
}

void ServiceState::setLastReceived(ReceivedMessageSummary message) {
  std::lock_guard guard(lastMutex_);
  last_ = std::move(message);
}

}  // namespace parlane
