#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace parlane {

class SettingsStore;

// `parlane-pdu decode`: one JSON object per hexadecimal PDU, from the arguments or, when there are
// none, from the lines of `input`. Returns the exit code: 1 when any PDU could not be decoded.
int runDecode(const std::vector<std::string>& pdus, std::istream& input, std::ostream& output,
              const SettingsStore& settings);

}  // namespace parlane
