#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "support/InitializationReplies.h"
#include "support/ScriptedModem.h"

namespace parlane::test {

// Answers like the emulator's modem: the probes, then "> " to "AT+CMGS=" and a reference to each
// message body, after `bodyPause`. Anything else is "OK" (rules given before this one come
// first).
inline void answerLikeAModem(ScriptedModem& modem,
                             std::chrono::milliseconds bodyPause = std::chrono::milliseconds(0)) {
  modem.setEcho(true);
  answerInitialization(modem);
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
