#include "transport/TrafficLogText.h"

#include "core/util/Utf.h"
#include "transport/ReplyText.h"

namespace parlane {

namespace {

constexpr std::string_view kPinCommand = "AT+CPIN=";

}  // namespace

std::u16string commandLogText(std::string_view bytes) {
  std::string shown;
  shown.reserve(bytes.size());
  const bool pin = startsWithNoCase(bytes, kPinCommand);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
      ++i;
      continue;
    }
    // Quotes and commas stay, so the line still shows the command's shape (PIN, or PUK and new
    // PIN), but not one digit of them.
    const bool secret =
        pin && i >= kPinCommand.size() && c != '"' && c != ',' && c != '\r' && c != '\n';
    shown.push_back(secret ? '*' : c);
  }
  return fromUtf8(shown);
}

std::u16string bodyLogText(std::string_view bytes) { return fromUtf8(bytes); }

}  // namespace parlane
