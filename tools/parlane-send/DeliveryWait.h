#pragma once

#include <string>

namespace parlane::send {

enum class WaitResult { Sent, Failed, Rejected, TimedOut };

// Where the folders of the gateway are and how to tell its messages.
struct WaitTarget {
  std::string sentFile;
  std::string failedFile;
  std::string rejectedFolder;  // the spool's "rejected/"
  std::string name;            // the spool file's name, kept in each message's "custom" field
  std::size_t messages = 1;    // one per recipient
};

// Looks at the folders until every message of the spool file is in "sent" or "failed", or the
// file was rejected, for at most `seconds`. `reason`: why, for a rejection or a failure.
WaitResult waitForDelivery(const WaitTarget& target, int seconds, std::string& reason);

}  // namespace parlane::send
