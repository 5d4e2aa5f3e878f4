#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "service/MessageEvent.h"

namespace parlane {

// The events a stop left waiting or running, kept beside the folders for the next start: a
// header line, then one event per line, its fields tab-separated with backslash, tab and line
// ends escaped.
std::string formatEventQueue(const std::vector<MessageEvent>& events);
// The events of such a file; a line that can't be read is skipped and counted in `skipped`.
std::vector<MessageEvent> parseEventQueue(std::string_view text, std::size_t& skipped);

}  // namespace parlane
