#pragma once

#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace parlane {

class RegistryHive;

// The process-wide map of settings: dotted ASCII keys (compared bytewise) to UTF-16 values.
// Absent keys read as empty text or 0; nothing is ever removed. One lock guards every operation,
// since the window thread and worker threads both write it.
class SettingsStore {
 public:
  SettingsStore() = default;
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  std::u16string getString(std::string_view key) const;
  std::u16string getString(std::u16string_view key) const;
  int getInt(std::string_view key) const;
  int getInt(std::u16string_view key) const;
  // `pattern` holds one "%d", e.g. "groups.%d.name".
  std::u16string getStringByPattern(std::string_view pattern, int n) const;
  int getIntByPattern(std::string_view pattern, int n) const;

  void setString(std::string_view key, std::u16string_view value);
  void setString(std::u16string_view key, std::u16string_view value);
  void setInt(std::string_view key, int value);
  void setInt(std::u16string_view key, int value);
  void setStringByPattern(std::string_view pattern, int n, std::u16string_view value);

  bool contains(std::string_view key) const;
  // A copy of all settings in key order.
  std::map<std::string, std::u16string> snapshot() const;

  // Persistent back ends. Loads replace values key by key; they never show messages. What the
  // registry load had to skip (unreadable lines, values too large to read) is described in
  // `notes`, one log line each.
  bool loadFromRegistry(const RegistryHive& hive, const std::string& subKey,
                        std::vector<std::string>* notes = nullptr);
  bool loadFromFile(const std::string& path);
  bool saveToRegistry(RegistryHive& hive, const std::string& subKey) const;
  bool saveToFile(const std::string& path);

  // The configuration file parser behind loadFromFile: keeps every line and takes the settings
  // from the bytes of a whole file. Always succeeds.
  bool loadFromText(std::string_view bytes);
  // What saveToFile writes: every setting merged into the file lines (which keep the result), each
  // line ended by CR LF.
  std::string toFileText();

  // Decimal parse with the store's rules: leading blanks, optional sign, digits up to the first
  // non-digit; no digits gives 0. Out-of-range values saturate.
  static int parseInt(std::u16string_view text);
  // The key produced by a pattern with one "%d".
  static std::string keyFromPattern(std::string_view pattern, int n);

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::u16string, std::less<>> values_;
  std::vector<std::string> fileLines_;
};

}  // namespace parlane
