#include "transport/UssdLines.h"

#include <algorithm>
#include <utility>

#include "transport/ReplyText.h"

namespace parlane {

namespace {

bool oddQuotes(std::string_view text) { return std::count(text.begin(), text.end(), '"') % 2 == 1; }

}  // namespace

bool UssdLines::begins(std::string_view line) {
  if (!startsWithNoCase(line, "+CUSD:") || !oddQuotes(line)) return false;
  text_ = std::string(line);
  lines_ = 1;
  return true;
}

bool UssdLines::append(std::string_view line) {
  text_ += '\n';
  text_ += line;
  ++lines_;
  return oddQuotes(line) || lines_ >= kMaxLines || text_.size() >= kMaxBytes;
}

bool UssdLines::endsUnclosed(std::string_view line) {
  return startsWithNoCase(line, "OK") || startsWithNoCase(line, "ERROR") ||
         startsWithNoCase(line, "+CME ") || startsWithNoCase(line, "+CMS ");
}

std::string UssdLines::take() {
  lines_ = 0;
  return std::exchange(text_, {});
}

}  // namespace parlane
