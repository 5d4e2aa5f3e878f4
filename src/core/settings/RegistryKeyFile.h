#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings/RegistryHive.h"

namespace parlane {

// The text of one registry key file: a comment header, then one value per line as
// name TAB type TAB data. Backslash, TAB, CR, LF, other control characters and unpaired
// surrogates are escapes (\\ \t \r \n \uXXXX), so no value can break its line.
class RegistryKeyFile {
 public:
  // Nothing when a value can't be written (an empty type).
  static std::optional<std::string> format(const std::vector<RegistryValue>& values);
  // The values up to the first malformed line. Blank lines and "#" comments are skipped.
  static std::vector<RegistryValue> parse(std::string_view text);

  static std::string escape(std::u16string_view text);
  static std::optional<std::u16string> unescape(std::string_view text);
};

}  // namespace parlane
