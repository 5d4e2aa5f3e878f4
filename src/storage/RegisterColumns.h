#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace parlane {

class SettingsStore;

// Writes a database's column names under name + ".columns.%d" (0 to n - 1) and the empty text
// under index n, so the stored list always ends where the built-in one does.
void registerColumns(SettingsStore& settings, std::u16string_view name,
                     const std::vector<std::u16string>& columns);

}  // namespace parlane
