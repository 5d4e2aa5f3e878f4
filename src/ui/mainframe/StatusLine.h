#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "transport/ChannelStatus.h"

namespace parlane {

// What the status file tells other programs, gathered at the moment of writing.
struct StatusSnapshot {
  std::uint32_t windowHandle = 0;
  int pid = 0;
  int instance = 0;
  std::u16string port;
  ChannelStatus status = ChannelStatus::Closed;
  std::size_t outboxCount = 0;
  int errors = 0;
};

// The one line of the status file, without a line end:
// "updated: dd-mm-yyyy hh:mm:ss.mmm; hwnd: 0000abcd; pid: N; instance: N; port: P; state:ready;
// outbox:N; errors:N", the time in local time.
std::u16string statusLine(const StatusSnapshot& snapshot, const timespec& now);

}  // namespace parlane
