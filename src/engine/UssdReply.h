#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace parlane {

// The text to show for a "+CUSD: <status>,"<text>",<dcs>" line (or its value after the colon):
// the quoted text decoded with "ussd.decode" (`decodeMode`) and the scheme of the third field
// (15 when there is none). Nothing when the line carries no text (a bare status).
std::optional<std::u16string> decodeUssdReply(std::u16string_view line, int decodeMode);

// What the user is told of a "+CUSD:" line: its text, or for the statuses that end a session
// without one (2 ended by the network, 4 not supported, 5 timed out) a notice saying so. Nothing
// for a line with neither.
struct UssdNotice {
  std::u16string title;
  std::u16string text;
};
std::optional<UssdNotice> ussdReplyNotice(std::u16string_view line, int decodeMode);

}  // namespace parlane
