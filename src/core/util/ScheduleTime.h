#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace parlane {

// A time a message is sent after or given up at, as people and scripts write it.
struct ScheduleTimeParse {
  std::optional<std::int64_t> seconds;  // since 1970, UTC
  std::string error;                    // why the text is no time, when it is none
};

// Reads "SECONDS" (from `now`, seconds since 1970) or an ISO 8601 date and time:
// "2026-12-24T18:00", "2026-12-24 18:00:30", with "Z" or an offset ("+01:00", "+0100", "+01")
// for another zone; without one it is the local time. Any text gives a time or a reason.
ScheduleTimeParse parseScheduleTime(std::string_view text, std::int64_t now);

// "2026-12-24T17:00:00Z": seconds since 1970 in UTC, as parseScheduleTime reads it back. Every
// time the gateway hands to other programs (event variables, the HTTP door's JSON) is written so.
std::string formatScheduleTime(std::int64_t seconds);

}  // namespace parlane
