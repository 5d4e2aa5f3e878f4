#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace parlane {

class SettingsStore;

// The recently used recipient texts of the send dialog, newest first, kept under "address.%d".
class SendHistory {
 public:
  static constexpr std::size_t kMaxEntries = 20;
  // Longer entries stay in the list while the dialog is open but are not written.
  static constexpr std::size_t kMaxStoredLength = 2048;

  // "address.0", "address.1", ... up to the first empty one (never more than kMaxEntries).
  static std::vector<std::u16string> load(const SettingsStore& settings);
  // Puts `entry` in front and drops later copies of it (exact comparison) and the oldest ones
  // beyond kMaxEntries. An empty entry or a group label ("(...") changes nothing.
  static void remember(std::vector<std::u16string>& history, const std::u16string& entry);
  // Writes the entries that are short enough under consecutive numbers, then an empty value
  // after the last, so that an entry of an earlier, longer list is not read back.
  static void save(SettingsStore& settings, const std::vector<std::u16string>& history);
};

}  // namespace parlane
