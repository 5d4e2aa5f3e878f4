#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace parlane {

// The modem's error reports: +CME ERROR (equipment) and +CMS ERROR (message service) codes with
// the texts every failure report shows.
enum class ModemErrorFamily { Cme, Cms };

// The table text of a code, or nothing when the table has no entry for it.
std::optional<std::u16string> modemErrorText(ModemErrorFamily family, int code);

// An error line read for the user and the log.
struct ModemError {
  int code = 100;       // 100 when the line carries no number
  std::u16string text;  // the table text, else what follows the prefix (the digits or words)
  std::string raw;      // the line in UTF-8, for the log
};

// Reads "+CME ERROR: n" or "+CMS ERROR: n" (the same reading the reply parser gives its kind-9
// events); a plain "ERROR" is code 100 with the text "ERROR".
ModemError readModemError(std::u16string_view line);

}  // namespace parlane
