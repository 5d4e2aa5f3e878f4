#pragma once

#include <string>
#include <string_view>

namespace parlane {

// What the escapes of a callback URL stand for.
struct UrlEscapeValues {
  std::string reportValue;  // %d: 1, 2, 4, 8 or 16
  std::string receiver;     // %p
  std::string sender;       // %P
  long long time = 0;       // %t "YYYY-MM-DD HH:MM" (UTC) and %T: seconds since 1970
  std::string id;           // %I
  std::string answer;       // %A: the modem's reply or the error text
  std::string reference;    // %F
  std::string text;         // %a; %k its first word, %r the words after it
  std::string instance;     // %i
};

// Which escapes a URL may use: a delivery report's, or those of an incoming message as well.
enum class UrlEscapeSet { DeliveryReport, Incoming };

// `pattern` with every escape of `set` replaced by its value, URL-encoded (all but letters,
// digits and "-._~" as %XX). "%%" is one "%"; any other "%" stays as it is.
std::string expandUrlEscapes(std::string_view pattern, const UrlEscapeValues& values,
                             UrlEscapeSet set);

// `text` with all but letters, digits and "-._~" as %XX.
std::string urlEncoded(std::string_view text);

}  // namespace parlane
