#include "storage/GenericDatabase.h"

#include <cstdio>

#include "core/settings/SettingsStore.h"

namespace parlane {

GenericDatabase::GenericDatabase(std::u16string name, SettingsStore& settings)
    : name_(std::move(name)), settings_(settings) {
  nextId_ = settings_.getInt(name_ + u".id");
}

GenericDatabase::~GenericDatabase() = default;

std::int32_t GenericDatabase::nextId() {
  std::lock_guard lock(mutex_);
  const std::int32_t id = nextId_;
  // Wraps instead of overflowing; a folder never gets near 2^31 identifiers.
  nextId_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(nextId_) + 1u);
  settings_.setInt(name_ + u".id", nextId_);
  return id;
}

std::u16string GenericDatabase::newIdText() {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(nextId()));
  return std::u16string(text, text + std::char_traits<char>::length(text));
}

bool GenericDatabase::findLastEqual(unsigned column, std::u16string_view value,
                                    const RecordTest& accept, DatabaseRecord& out) const {
  const std::vector<DatabaseRecord> found = selectEqual(column, value, 0);
  for (auto it = found.rbegin(); it != found.rend(); ++it) {
    if (!accept(*it)) continue;
    out = *it;
    return true;
  }
  return false;
}

}  // namespace parlane
