#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/settings/StartupOptions.h"

namespace parlane {

// Splits a command line at blanks outside double quotes (a quote after a backslash neither opens
// nor closes a quoted stretch); each piece is trimmed of surrounding blanks and quotes.
std::vector<std::string> splitCommandLine(std::string_view commandLine);

// Joins argv back into one command line, quoting pieces that hold blanks, so that the autostart
// entry and the splitter agree.
std::string joinCommandLine(const std::vector<std::string>& arguments);

// Processes the switches of every piece but the first (the program). Switches start after each
// '-' or '/' and are compared with the whole rest of the piece, ignoring case, except `inst`
// which is a case-sensitive prefix followed by the number, in the same piece or the next one
// ("-inst2" or "-inst 2"). The first of RegServer, UnregServer, init and viewauthor ends the
// processing. An unknown switch, a stray argument or an instance number that is not 0..9999
// ends it too, with `error` saying which.
StartupOptions parseSwitches(const std::vector<std::string>& pieces);

// Leading decimal digits of `text`; none gives 0; outside 0..9999 gives 0.
int parseInstanceNumber(std::string_view text);

}  // namespace parlane
