#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace parlane {

class SettingsStore;

// `parlane-pdu encode --to N --text T [--ton 0-4] [--flash] [--report] [--validity SECONDS]
// [--push URL]`: one line "<TPDU length> <uppercase hex>" per SMS-SUBMIT unit. Returns the exit
// code; bad options are explained on `errors` and give 2.
int runEncode(const std::vector<std::string>& arguments, std::ostream& output, std::ostream& errors,
              const SettingsStore& settings);

}  // namespace parlane
