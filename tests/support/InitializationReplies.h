#pragma once

#include <string>
#include <utility>

#include "support/ScriptedModem.h"

namespace parlane::test {

// The answers of a plain GSM modem (an MC35i) to the gateway's initialization and probe commands,
// so that it connects with every feature found.
inline void answerInitialization(ScriptedModem& modem) {
  const std::pair<const char*, const char*> replies[] = {
      {"AT+CSMS=?", "\r\n+CSMS: (0,1,128)\r\n\r\nOK\r\n"},
      {"AT+CMGF=?", "\r\n+CMGF: (0-1)\r\n\r\nOK\r\n"},
      {"AT+CNMI=?", "\r\n+CNMI: (0-3),(0-3),(0,2,3),(0-1),(0)\r\n\r\nOK\r\n"},
      {"AT+CMEE=?", "\r\n+CMEE: (0-2)\r\n\r\nOK\r\n"},
      {"AT+CMGD=?", "\r\n+CMGD: (1-20),(0-4)\r\n\r\nOK\r\n"},
      {"AT+CPMS?", "\r\n+CPMS: \"SM\",0,20,\"SM\",0,20,\"SM\",0,20\r\n\r\nOK\r\n"},
      {"AT+CUSD=?", "\r\n+CUSD: (0,1)\r\n\r\nOK\r\n"},
      {"AT+CGMM", "\r\nMC35i\r\n\r\nOK\r\n"},
      {"AT+CSQ", "\r\n+CSQ: 31,99\r\n\r\nOK\r\n"},
  };
  for (const auto& [command, reply] : replies) modem.on(command, reply);
}

}  // namespace parlane::test
