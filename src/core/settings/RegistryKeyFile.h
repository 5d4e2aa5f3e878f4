#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings/RegistryHive.h"

namespace parlane {

// What a key file holds: its values in order, and the lines that could not be read.
struct KeyFileContents {
  std::vector<RegistryValue> values;
  std::vector<UnreadableKeyLine> unreadable;
};

// The text of one registry key file: a comment header, then one value per line as
// name TAB type TAB data. Backslash, TAB, CR, LF, other control characters and unpaired
// surrogates are escapes (\\ \t \r \n \uXXXX), so no value can break its line.
class RegistryKeyFile {
 public:
  // Nothing when a value can't be written (an empty type). Unreadable lines go back in their
  // places among the values.
  static std::optional<std::string> format(const std::vector<RegistryValue>& values,
                                           const std::vector<UnreadableKeyLine>& unreadable = {});
  // Every readable value; a malformed line is skipped and noted. Blank lines and "#" comments are
  // skipped.
  static KeyFileContents parse(std::string_view text);

  static std::string escape(std::u16string_view text);
  static std::optional<std::u16string> unescape(std::string_view text);
};

}  // namespace parlane
