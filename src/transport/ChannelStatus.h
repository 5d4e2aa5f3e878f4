#pragma once

namespace parlane {

// The channel's status word; logged and compared by its number.
enum class ChannelStatus : int {
  Closed = 0,
  Idle = 1,
  Configuring = 2,
  Busy = 3,
  Error = 4,  // set by the channel whenever a port operation fails
};

}  // namespace parlane
