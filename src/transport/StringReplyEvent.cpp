#include "transport/StringReplyEvent.h"

#include "transport/ReplyText.h"

namespace parlane {

StringReplyEvent::StringReplyEvent(const AsyncEvent& line)
    : AsyncEvent(kStringReply, line.code, {}, line.raw) {
  const std::u16string joined = withoutLineEnds(line.text);
  const std::size_t colon = joined.find(u':');
  if (colon == std::u16string::npos || colon + 1 == joined.size()) {
    malformed = true;
    return;
  }
  name = joined.substr(0, colon);
  text = trimBlanks(std::u16string_view(joined).substr(colon + 1));
}

}  // namespace parlane
