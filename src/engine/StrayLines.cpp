#include "engine/StrayLines.h"

#include "transport/ReplyText.h"

namespace parlane {

namespace {

// Unsolicited results and vendor status lines, by their beginning.
constexpr std::string_view kStrayPrefixes[] = {
    "+CREG:", "+CGREG:", "+CEREG:", "+CMTI:",  "+CDSI:",  "^RSSI:",
    "^BOOT:", "^MODE:",  "^SRVST:", "^SIMST:", "+ZPASR:", "+ZUSIMR:",
};

// Whole lines: the ring and the banners of a modem that has just started.
constexpr std::string_view kStrayLines[] = {
    "RING", "RDY", "SMS Ready", "Call Ready", "PB DONE", "+CPIN: READY", "+CFUN: 1",
};

std::u16string_view trimmed(std::u16string_view line) {
  const auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
  while (!line.empty() && blank(line.front())) line.remove_prefix(1);
  while (!line.empty() && blank(line.back())) line.remove_suffix(1);
  return line;
}

}  // namespace

bool isStrayLine(std::u16string_view line) {
  line = trimmed(line);
  for (std::string_view prefix : kStrayPrefixes) {
    if (startsWithNoCase(line, prefix)) return true;
  }
  for (std::string_view whole : kStrayLines) {
    if (line.size() == whole.size() && startsWithNoCase(line, whole)) return true;
  }
  return false;
}

}  // namespace parlane
