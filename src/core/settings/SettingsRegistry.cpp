// The registry back end of SettingsStore: one REG_SZ value per setting in one key.
#include <string>
#include <utility>
#include <vector>

#include "core/settings/RegistryHive.h"
#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"

namespace parlane {

namespace {

// Enumeration buffers: names of up to 4096 characters with their terminating zero, data of up
// to 4096 bytes. A value that doesn't fit is skipped.
constexpr size_t kNameBufferChars = 4096;
constexpr size_t kDataBufferBytes = 4096;

bool fitsBuffers(const RegistryValue& value) {
  return value.name.size() < kNameBufferChars &&
         value.data.size() * sizeof(char16_t) <= kDataBufferBytes;
}

// The start of a value's name for a log line: enough to find it, never a whole page.
std::string shortName(const std::u16string& name) {
  constexpr size_t kShown = 60;
  return name.size() <= kShown ? toUtf8(name) : toUtf8(name.substr(0, kShown)) + "...";
}

}  // namespace

bool SettingsStore::loadFromRegistry(const RegistryHive& hive, const std::string& subKey,
                                     std::vector<std::string>* notes) {
  std::vector<UnreadableKeyLine> unreadable;
  const auto values = hive.readValues(subKey, &unreadable);
  if (!values) return false;
  const std::string where = "Registry key " + hive.keyPath(subKey) + ": ";
  if (notes != nullptr) {
    for (const auto& line : unreadable) {
      notes->push_back(where + "line " + std::to_string(line.lineNumber) +
                       " can't be read; it is skipped and left in the key as it is");
    }
  }
  std::vector<std::pair<std::string, std::u16string>> settings;
  size_t enumerated = 0;
  for (const auto& value : *values) {
    // A value the buffers can't hold is passed over; the ones after it still count.
    if (!fitsBuffers(value)) {
      if (notes != nullptr) {
        notes->push_back(where + "value \"" + shortName(value.name) +
                         "\" is too large to read (name of " + std::to_string(value.name.size()) +
                         ", data of " + std::to_string(value.data.size()) +
                         " characters); it is skipped");
      }
      continue;
    }
    ++enumerated;
    if (value.type != "REG_SZ") continue;
    std::string key = toUtf8(value.name);
    if (key.empty()) continue;
    settings.emplace_back(std::move(key), value.data);
  }
  // A key with fewer than two values is not a configuration; a failed load changes nothing.
  if (enumerated < 2) return false;
  std::lock_guard lock(mutex_);
  for (auto& [key, value] : settings) values_.insert_or_assign(std::move(key), std::move(value));
  return true;
}

bool SettingsStore::saveToRegistry(RegistryHive& hive, const std::string& subKey) const {
  std::vector<RegistryValue> values;
  {
    std::lock_guard lock(mutex_);
    values.reserve(values_.size());
    for (const auto& [key, value] : values_) {
      // Value names must start with an ASCII character.
      if (!key.empty() && static_cast<unsigned char>(key[0]) >= 0x80) continue;
      values.push_back({fromUtf8(key), "REG_SZ", value});
    }
  }
  // One write of the key file with every value: either all are written or none.
  return hive.setValues(subKey, values);
}

}  // namespace parlane
