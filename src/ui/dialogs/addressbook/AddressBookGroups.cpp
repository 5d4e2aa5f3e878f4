#include "ui/dialogs/addressbook/AddressBookGroups.h"

#include <algorithm>

#include "core/settings/SettingsStore.h"

namespace parlane {

namespace {
constexpr const char* kPattern = "groups.%d.name";
// Far more than anyone keeps; stops a damaged configuration from being read for ever.
constexpr int kMaxGroups = 1000;
}  // namespace

std::vector<std::u16string> loadGroupNames(const SettingsStore& settings) {
  std::vector<std::u16string> names;
  for (int i = 0; i < kMaxGroups; ++i) {
    std::u16string name = settings.getStringByPattern(kPattern, i);
    if (name.empty()) break;
    names.push_back(std::move(name));
  }
  return names;
}

void addGroupName(SettingsStore& settings, const std::u16string& name) {
  const std::vector<std::u16string> names = loadGroupNames(settings);
  if (name.empty() || std::find(names.begin(), names.end(), name) != names.end()) return;
  if (names.size() >= static_cast<std::size_t>(kMaxGroups)) return;
  settings.setStringByPattern(kPattern, static_cast<int>(names.size()), name);
}

}  // namespace parlane
