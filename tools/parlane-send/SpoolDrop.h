#pragma once

#include <optional>
#include <string>

#include "service/SpoolFile.h"

namespace parlane::send {

// Writes `message` into the spool folder `folder` (made, private, when missing) as a file that
// appears complete or not at all: written as "<name>.tmp", flushed, then renamed. The new file's
// name, or nothing with `error` set.
std::optional<std::string> dropIntoSpool(const std::string& folder, const SpoolMessage& message,
                                         std::string& error);

}  // namespace parlane::send
