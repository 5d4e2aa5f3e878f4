#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "engine/ModemPortInfo.h"

namespace parlane {

// A modem's answer to one probe command: what came back before the line fell silent.
struct ProbeReply {
  bool wrote = false;
  std::string bytes;
};

// Talks to a port directly, without the serial channel: opened exclusively, one command at a time,
// each answer read until the line stays silent for `readTimeoutMs` (at most kMaxReplyBytes).
class PortProbe {
 public:
  static constexpr int kReadTimeoutMs = 500;
  static constexpr std::size_t kMaxReplyBytes = 1024;

  explicit PortProbe(int readTimeoutMs = kReadTimeoutMs) : readTimeoutMs_(readTimeoutMs) {}

  // True when the device at `path` could be opened exclusively (it is closed again at once).
  static bool canOpen(const std::string& path);

  // Opens `path` (applying the entry's line settings when it has them) and exchanges `initCommand`
  // and then "AT+CSMS=?". True when the first answer is not empty and holds no "ERROR", and the
  // second, besides, ends in the result "OK": a device that streams other bytes (a GPS receiver,
  // a wrong line speed) is no GSM modem. `cancel`, when set, stops between the exchanges.
  bool probe(const std::string& path, const ModemPortInfo& info, std::string_view initCommand,
             const std::atomic<bool>* cancel = nullptr) const;

  // One exchange on an open port: `command` in one write, then the answer.
  ProbeReply exchange(int fd, std::string_view command) const;

 private:
  int readTimeoutMs_;
};

// Whether an answer holds a line that is exactly "OK".
bool hasOkLine(std::string_view reply);

}  // namespace parlane
