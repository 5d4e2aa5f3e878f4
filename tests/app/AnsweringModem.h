#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "support/ScriptedModem.h"

namespace parlane::test {

// Answers like the emulator's modem: the probes, then "> " to "AT+CMGS=" and a reference to each
// message body, after `bodyPause`. Anything else is "OK" (rules given before this one come
// first).
inline void answerLikeAModem(ScriptedModem& modem,
                             std::chrono::milliseconds bodyPause = std::chrono::milliseconds(0)) {
  modem.setEcho(true);
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
  modem.onPrefix("AT+CMGS=", "\r\n> ");
  auto reference = std::make_shared<std::atomic<int>>(0);
  modem.onCommand([reference, bodyPause](const std::string& command, std::string& reply) {
    if (command.empty() || command.starts_with("AT") ||
        command.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos) {
      return false;
    }
    std::this_thread::sleep_for(bodyPause);
    reply = "\r\n+CMGS: " + std::to_string(++*reference) + "\r\n\r\nOK\r\n";
    return true;
  });
  modem.onPrefix("", "\r\nOK\r\n");
}

}  // namespace parlane::test
