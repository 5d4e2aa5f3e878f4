#include "engine/DiagnosticPayload.h"

namespace parlane {

std::u16string diagnosticPayload() {
  // The octets 0x00, 0x01, ..., 0x8B: a full unit of user data whose every octet tells its own
  // position, so a dropped, repeated or altered octet shows at a glance in the received data.
  // The run passes the values a text path would mangle (NUL, CR, LF, Ctrl-Z, Escape) and the
  // first octets with the high bit set.
  std::u16string payload(140, u'\0');
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char16_t>(i);
  return payload;
}

}  // namespace parlane
