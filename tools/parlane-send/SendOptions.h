#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "service/SpoolFile.h"

namespace parlane::send {

// What the command line asks for.
struct SendOptions {
  int instance = 0;
  SpoolMessage message;
  // The text comes from standard input ("-", or no --text).
  bool textFromInput = true;
  // Into the pool folder several instances share ("spool.pool"), not one instance's spool.
  bool pool = false;
  bool wait = false;
  int waitSeconds = 300;
  bool help = false;
};

struct ParsedOptions {
  std::optional<SendOptions> options;
  std::string error;  // why the command line is refused
};

// Times given in seconds count from `now` (seconds since 1970).
ParsedOptions parseSendOptions(const std::vector<std::string>& arguments,
                               std::int64_t now = std::time(nullptr));

extern const char* const kUsage;

}  // namespace parlane::send
