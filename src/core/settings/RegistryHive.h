#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace parlane {

// One value of a registry key. `type` is "REG_SZ" for text; other types are kept but not used.
struct RegistryValue {
  std::u16string name;
  std::string type = "REG_SZ";
  std::u16string data;

  bool operator==(const RegistryValue&) const = default;
};

// A line of a key file that can't be read as a value (a hand edit gone wrong, a cut write). It is
// skipped when reading and written back as it stands, so that rewriting the key never loses it.
struct UnreadableKeyLine {
  std::size_t lineNumber = 0;    // counted from 1
  std::size_t valuesBefore = 0;  // how many values stood before it
  std::string text;              // as in the file, without its LF

  bool operator==(const UnreadableKeyLine&) const = default;
};

// A registry hive is a folder; a key ("Software\Quortane SMS\Parlane") is one human-readable UTF-8
// file under it, with `\` as the folder separator. Values keep the order in which they were first
// written. Every write replaces the key file atomically with mode 0600.
class RegistryHive {
 public:
  explicit RegistryHive(std::string folder);

  // HKEY_CURRENT_USER: $XDG_CONFIG_HOME/Quortane SMS/registry (default ~/.config/...).
  static RegistryHive currentUser();
  // HKEY_USERS\S-1-5-18, the system account used with `cfgservice`.
  static RegistryHive systemAccount();

  const std::string& folder() const { return folder_; }
  std::string keyPath(const std::string& subKey) const;
  // A key path names folders below the hive: no empty, "." or ".." part and no "/" in a part.
  static bool isValidSubKey(const std::string& subKey);

  bool keyExists(const std::string& subKey) const;
  // Creates the key (and its folders) when missing; an existing key is left as it is.
  bool createKey(const std::string& subKey);
  // The values of an existing key in enumeration order, or nothing when the key is missing or
  // unreadable. A malformed line of the key file is skipped; `unreadable` gets such lines.
  std::optional<std::vector<RegistryValue>> readValues(
      const std::string& subKey, std::vector<UnreadableKeyLine>* unreadable = nullptr) const;
  // Replaces all values of the key (creating it when missing).
  bool writeValues(const std::string& subKey, const std::vector<RegistryValue>& values);
  // Sets one value, keeping its position when it exists and appending it otherwise.
  bool setValue(const std::string& subKey, const RegistryValue& value);
  // setValue for several values in one write of the key file. linesOf of the key file that could
  // not be read are written back as they were.
  bool setValues(const std::string& subKey, const std::vector<RegistryValue>& values);
  bool deleteValue(const std::string& subKey, const std::u16string& name);

 private:
  std::string folder_;
};

}  // namespace parlane
