#pragma once

#include <string>
#include <vector>

namespace parlane::test {

// The lines of a log file without their "\r\n"; a last line without one is kept as it is.
inline std::vector<std::string> logLines(const std::string& content) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < content.size()) {
    const size_t end = content.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(content.substr(start));
      break;
    }
    lines.push_back(content.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// "[dd-mm-yyyy hh:mm:ss.mmm tttt] ", the thread number with four or five digits.
inline const char* kPrefixPattern = R"(\[\d{2}-\d{2}-\d{4} \d{2}:\d{2}:\d{2}\.\d{3} \d{4,5}\] )";

}  // namespace parlane::test
