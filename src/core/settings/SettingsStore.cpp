#include "core/settings/SettingsStore.h"

#include <climits>

#include "core/util/Utf.h"

namespace parlane {

namespace {

bool isBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

}  // namespace

std::u16string SettingsStore::getString(std::string_view key) const {
  std::lock_guard lock(mutex_);
  const auto it = values_.find(key);
  return it == values_.end() ? std::u16string() : it->second;
}

std::u16string SettingsStore::getString(std::u16string_view key) const {
  return getString(toUtf8(key));
}

int SettingsStore::getInt(std::string_view key) const { return parseInt(getString(key)); }

int SettingsStore::getInt(std::u16string_view key) const { return getInt(toUtf8(key)); }

std::u16string SettingsStore::getStringByPattern(std::string_view pattern, int n) const {
  return getString(keyFromPattern(pattern, n));
}

int SettingsStore::getIntByPattern(std::string_view pattern, int n) const {
  return getInt(keyFromPattern(pattern, n));
}

void SettingsStore::setString(std::string_view key, std::u16string_view value) {
  std::lock_guard lock(mutex_);
  values_.insert_or_assign(std::string(key), std::u16string(value));
}

void SettingsStore::setString(std::u16string_view key, std::u16string_view value) {
  setString(toUtf8(key), value);
}

void SettingsStore::setInt(std::string_view key, int value) {
  setString(key, fromAscii(std::to_string(value)));
}

void SettingsStore::setInt(std::u16string_view key, int value) { setInt(toUtf8(key), value); }

void SettingsStore::setStringByPattern(std::string_view pattern, int n, std::u16string_view value) {
  setString(keyFromPattern(pattern, n), value);
}

bool SettingsStore::contains(std::string_view key) const {
  std::lock_guard lock(mutex_);
  return values_.find(key) != values_.end();
}

std::map<std::string, std::u16string> SettingsStore::snapshot() const {
  std::lock_guard lock(mutex_);
  return {values_.begin(), values_.end()};
}

int SettingsStore::parseInt(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && isBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  // One past INT_MAX is enough to tell an overflow in either direction.
  constexpr long long kLimit = static_cast<long long>(INT_MAX) + 1;
  long long magnitude = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    if (magnitude <= kLimit) magnitude = magnitude * 10 + (text[i] - u'0');
  }
  if (negative) return magnitude >= kLimit ? INT_MIN : static_cast<int>(-magnitude);
  return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

std::string SettingsStore::keyFromPattern(std::string_view pattern, int n) {
  std::string key;
  key.reserve(pattern.size() + 16);
  bool numberUsed = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size()) {
      if (pattern[i + 1] == '%') {
        key += '%';
        ++i;
        continue;
      }
      // Only the first "%d" takes the number; anything else stays as written.
      if (pattern[i + 1] == 'd' && !numberUsed) {
        key += std::to_string(n);
        numberUsed = true;
        ++i;
        continue;
      }
    }
    key += pattern[i];
  }
  return key;
}

}  // namespace parlane
