#pragma once

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/util/Clock.h"

namespace parlane {

class GenericMessage;

// The fields of a query string or a form body, in their order, decoded.
using HttpParams = std::vector<std::pair<std::string, std::string>>;

// Splits "a=1&b=2" and decodes "%XX" and "+" (a space); a "%" not followed by two hex digits stays
// as it is.
HttpParams parseQueryString(std::string_view query);

// The first value of the first of `names` that is there.
std::optional<std::string> paramOf(const HttpParams& params,
                                   std::initializer_list<std::string_view> names);

// What a sendsms request becomes: one message per receiver, or the status and one-line reason it
// is refused with. `notes` are the fields that were taken but have no effect (for the log).
struct SendSmsMapping {
  std::vector<std::unique_ptr<GenericMessage>> messages;
  int status = 0;  // 0: mapped; else the HTTP status of the refusal
  std::string reason;
  std::vector<std::string> notes;
  // "dlr-mask" and "dlr-url": which of the message's events fetch the URL; the request's "from"
  // for its %P.
  int reportMask = 0;
  std::string reportUrl;
  std::string sender;
};

// Maps the fields of a sendsms request (receivers, text, charset, coding, mclass, validity,
// dlr-mask and dlr-url; a dlr-url for reports of the centre asks for a status report) to
// messages; the numbers are checked as the spool checks them. Any input gives messages or a
// reason.
SendSmsMapping mapSendSms(const HttpParams& params, std::size_t maxRecipients,
                          const Clock& clock = Clock::system());

// `text` in `charset` as UTF-8; nothing when the charset is unknown or the text is not in it.
std::optional<std::string> textToUtf8(const std::string& text, const std::string& charset);

}  // namespace parlane
