#pragma once

#include <string>

#include "transport/AsyncEvent.h"

namespace parlane {

// An information line split at its first ":": "+CSQ: 31,0" has name "+CSQ" and text "31,0".
class StringReplyEvent : public AsyncEvent {
 public:
  // From a line event (kind 7); code and raw are copied.
  explicit StringReplyEvent(const AsyncEvent& line);

  std::u16string name;     // before the first ":", untrimmed
  bool malformed = false;  // no ":" or nothing after it; then name and text are empty
};

}  // namespace parlane
