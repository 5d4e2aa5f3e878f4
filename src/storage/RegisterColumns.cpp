#include "storage/RegisterColumns.h"

#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"

namespace parlane {

void registerColumns(SettingsStore& settings, std::u16string_view name,
                     const std::vector<std::u16string>& columns) {
  const std::u16string prefix = std::u16string(name) + u".columns.";
  for (size_t i = 0; i <= columns.size(); ++i) {
    const std::u16string key = prefix + fromAscii(std::to_string(i));
    settings.setString(key, i < columns.size() ? std::u16string_view(columns[i]) : u"");
  }
}

}  // namespace parlane
