#pragma once

#include <string>

namespace parlane::bench {

// Voluntary context switches (the threads' wake-ups) and CPU ticks (user + system), summed over
// the threads a process has at the moment.
struct ProcessTimes {
  long switches = 0;
  long cpuTicks = 0;
};

// `process`: "/proc/self" or "/proc/<pid>". A thread that ends while it is read counts nothing.
ProcessTimes threadTimes(const std::string& process = "/proc/self");

inline long wakeUps(const std::string& process = "/proc/self") {
  return threadTimes(process).switches;
}

}  // namespace parlane::bench
