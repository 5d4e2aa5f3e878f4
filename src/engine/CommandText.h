#pragma once

#include <string>
#include <string_view>

namespace parlane {

// `text` without the characters that would end a quoted command argument or the command line
// early (double quote, CR, LF, Ctrl-Z, Escape): user text put into a command must not be able
// to smuggle in a command of its own.
std::string quotableArgument(std::string_view text);

// A message body without Ctrl-Z and Escape, which would end or abort the body early and let the
// rest of the text reach the modem as commands.
std::string safeBody(std::string_view text);

// A text-mode body as safeBody makes it, with every line break (CR LF, CR) a single LF: a CR
// makes the modem open a new "> " prompt, and the Ctrl-Z after it would then go unanswered.
std::string textModeBody(std::string_view text);

}  // namespace parlane
