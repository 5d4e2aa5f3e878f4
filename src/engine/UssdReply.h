#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace parlane {

// The text to show for a "+CUSD: <status>,"<text>",<dcs>" line (or its value after the colon):
// the quoted text decoded with "ussd.decode" (`decodeMode`) and the scheme of the third field
// (15 when there is none). Nothing when the line carries no text (a bare status).
std::optional<std::u16string> decodeUssdReply(std::u16string_view line, int decodeMode);

}  // namespace parlane
