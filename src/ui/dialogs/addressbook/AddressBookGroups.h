#pragma once

#include <string>
#include <vector>

namespace parlane {

class SettingsStore;

// The address book's group names, "groups.0.name", "groups.1.name", ... up to the first empty one.
std::vector<std::u16string> loadGroupNames(const SettingsStore& settings);
// Adds `name` after the last group unless it is empty or known already.
void addGroupName(SettingsStore& settings, const std::u16string& name);

}  // namespace parlane
