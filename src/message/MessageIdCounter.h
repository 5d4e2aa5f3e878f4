#pragma once

#include <cstdint>

namespace parlane {

class SettingsStore;

// The one process-wide source of message ids. Taking an id is a single atomic step, so messages
// made on different threads never share one.
class MessageIdCounter {
 public:
  // Returns the current value and moves the counter on by one.
  static std::int32_t take();
  // The id the next take() will return.
  static std::int32_t peek();
  static void set(std::int32_t next);

  // Start-up: raises "message.id" to the largest id stored in the folders when that is larger,
  // then continues after "message.id".
  static void loadFrom(SettingsStore& settings, std::int32_t largestStoredId);
  // Shut-down: "message.id" becomes the last id handed out.
  static void saveTo(SettingsStore& settings);
};

}  // namespace parlane
