#pragma once

#include <string>
#include <string_view>

namespace parlane {

// The emulator's canned answer to one written command or body, chosen by the first rule of its
// table that holds (exact, case-sensitive byte comparisons).
struct EmulatorReply {
  int rule = 0;              // 1..22, the table row that matched
  std::string bytes;         // what the modem "sends back"
  bool longPause = false;    // a PDU body or a USSD request: answered after the long pause
  bool messageSent = false;  // rule 19: the reference was used (and the "SEND" scene follows)

  // `initLine` is "modem.init" in UTF-8 followed by "\r\n"; `reference` is reported by rule 19.
  static EmulatorReply choose(std::string_view command, std::string_view initLine, int reference);
};

}  // namespace parlane
