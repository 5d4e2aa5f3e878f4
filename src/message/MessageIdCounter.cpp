#include "message/MessageIdCounter.h"

#include <atomic>

#include "core/settings/SettingsStore.h"

namespace parlane {

namespace {

std::atomic<std::int32_t>& counter() {
  static std::atomic<std::int32_t> next{1};
  return next;
}

}  // namespace

std::int32_t MessageIdCounter::take() { return counter().fetch_add(1); }

std::int32_t MessageIdCounter::peek() { return counter().load(); }

void MessageIdCounter::set(std::int32_t next) { counter().store(next); }

void MessageIdCounter::loadFrom(SettingsStore& settings, std::int32_t largestStoredId) {
  std::int32_t last = settings.getInt("message.id");
  if (largestStoredId > last) {
    last = largestStoredId;
    settings.setInt("message.id", last);
  }
  // Wraps rather than overflowing when the stored id is the largest one.
  set(static_cast<std::int32_t>(static_cast<std::uint32_t>(last) + 1U));
}

void MessageIdCounter::saveTo(SettingsStore& settings) {
  settings.setInt("message.id", static_cast<std::int32_t>(static_cast<std::uint32_t>(peek()) - 1U));
}

}  // namespace parlane
