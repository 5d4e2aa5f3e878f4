#include "support/ProcessTimes.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace parlane::bench {

ProcessTimes threadTimes(const std::string& process) {
  ProcessTimes times;
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator(process + "/task", error)) {
    std::ifstream status(task.path() / "status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) {
        times.switches += std::stol(line.substr(line.find(':') + 1));
      }
    }
    std::ifstream stat(task.path() / "stat");
    const std::string text((std::istreambuf_iterator<char>(stat)), {});
    // The command name may hold blanks: the fields start after its closing parenthesis.
    const auto close = text.rfind(')');
    if (close == std::string::npos || close + 2 > text.size()) continue;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
      if (i == 14 || i == 15) times.cpuTicks += std::stol(field);  // utime, stime
    }
  }
  return times;
}

}  // namespace parlane::bench
