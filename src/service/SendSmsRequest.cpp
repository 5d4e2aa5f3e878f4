#include "service/SendSmsRequest.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>

#include "core/util/HexDigit.h"
#include "core/util/Utf.h"
#include "core/util/Utf8Text.h"
#include "gsm/HexOctets.h"
#include "message/MessageFlags.h"
#include "message/SMSMessage.h"
#include "service/SpoolFile.h"

namespace parlane {

namespace {

// Fields a modem can't honour yet: taken so that existing scripts keep working.
constexpr std::string_view kIgnoredFields[] = {"from", "smsc", "priority", "account"};
// "deferred" minutes: ten years at most, as a schedule time.
constexpr long kMaxDeferredMinutes = 10L * 366 * 24 * 60;

// The dlr-mask values: 1 delivered, 2 not delivered, 4 queued at the centre, 8 accepted by the
// centre, 16 refused by it.
constexpr long kAllReports = 31;
constexpr long kReportsOfTheCentre = 1 | 2 | 4;

// The user data one unit carries: a binary message is never split.
constexpr std::size_t kMaxBinaryOctets = 140;

// Longer texts are no SMS (255 parts of 153 characters at most); refused before any copy.
constexpr std::size_t kMaxTextBytes = 255 * 160 * 4;

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string decode(std::string_view part) {
  std::string out;
  out.reserve(part.size());
  for (std::size_t i = 0; i < part.size(); ++i) {
    const char c = part[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 2 < part.size() && hexDigitValue(part[i + 1]) >= 0 &&
               hexDigitValue(part[i + 2]) >= 0) {
      out += static_cast<char>(hexDigitValue(part[i + 1]) * 16 + hexDigitValue(part[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

// A whole non-negative number, nothing else.
std::optional<long> wholeNumber(const std::string& text) {
  long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0) {
    return std::nullopt;
  }
  return value;
}

SendSmsMapping refuse(int status, std::string reason) {
  SendSmsMapping mapping;
  mapping.status = status;
  mapping.reason = std::move(reason);
  return mapping;
}

// Receivers separated by spaces (a "+" in the query is one already).
std::vector<std::string> receiversOf(const std::string& to) {
  std::vector<std::string> numbers;
  std::size_t start = 0;
  while (start < to.size()) {
    const std::size_t end = std::min(to.find(' ', start), to.size());
    if (end > start) numbers.push_back(to.substr(start, end - start));
    start = end + 1;
  }
  return numbers;
}

}  // namespace

HttpParams parseQueryString(std::string_view query) {
  HttpParams params;
  std::size_t start = 0;
  while (start <= query.size()) {
    const std::size_t end = std::min(query.find('&', start), query.size());
    const std::string_view pair = query.substr(start, end - start);
    if (!pair.empty()) {
      const std::size_t equals = pair.find('=');
      if (equals == std::string_view::npos) {
        params.emplace_back(decode(pair), std::string());
      } else {
        params.emplace_back(decode(pair.substr(0, equals)), decode(pair.substr(equals + 1)));
      }
    }
    start = end + 1;
  }
  return params;
}

std::optional<std::string> paramOf(const HttpParams& params,
                                   std::initializer_list<std::string_view> names) {
  for (std::string_view name : names) {
    for (const auto& [key, value] : params) {
      if (key == name) return value;
    }
  }
  return std::nullopt;
}

std::optional<std::string> textToUtf8(const std::string& text, const std::string& charset) {
  const std::string name = lower(charset);
  if (name.empty() || name == "utf-8" || name == "utf8") {
    if (!isValidUtf8(text)) return std::nullopt;
    return text;
  }
  iconv_t converter = ::iconv_open("UTF-8", charset.c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(text.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(text.data());
  std::size_t inLeft = text.size();
  char* target = out.data();
  std::size_t outLeft = out.size();
  const std::size_t converted = ::iconv(converter, &in, &inLeft, &target, &outLeft);
  ::iconv_close(converter);
  if (converted == static_cast<std::size_t>(-1) || inLeft != 0) return std::nullopt;
  out.resize(out.size() - outLeft);
  if (!isValidUtf8(out)) return std::nullopt;
  return out;
}

SendSmsMapping mapSendSms(const HttpParams& params, std::size_t maxRecipients, const Clock& clock) {
  const std::vector<std::string> numbers = receiversOf(paramOf(params, {"to"}).value_or(""));
  if (numbers.empty()) return refuse(400, "Missing receiver number");
  if (numbers.size() > maxRecipients) {
    return refuse(400, "Too many receivers (" + std::to_string(numbers.size()) + ", at most " +
                           std::to_string(maxRecipients) + ")");
  }
  const std::optional<std::string> raw = paramOf(params, {"text"});
  if (!raw) return refuse(400, "Missing text");
  if (raw->size() > kMaxTextBytes) return refuse(400, "Text too long");
  const std::string coding = paramOf(params, {"coding"}).value_or("0");
  if (coding != "0" && coding != "1" && coding != "2") {
    return refuse(400, "Invalid coding " + coding);
  }
  const std::optional<std::string> udh = paramOf(params, {"udh"});

  SendSmsMapping mapping;
  SpoolMessage message;
  std::int32_t flags = 0;
  if (coding == "1") {
    // The text and the header are octets as they are; they are kept as hexadecimal digits.
    const std::string header = udh.value_or("");
    if (!header.empty() && static_cast<unsigned char>(header[0]) + 1u != header.size()) {
      return refuse(400, "Invalid udh: its first octet must give the length of the rest");
    }
    const std::size_t octets = header.size() + raw->size();
    if (octets > kMaxBinaryOctets) {
      return refuse(400, "Binary message too long (" + std::to_string(octets) +
                             " octets, at most " + std::to_string(kMaxBinaryOctets) + ")");
    }
    const std::string data = header + *raw;
    message.text =
        octetsToHex(std::span(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
    flags |= messageFlags::kBinary;
    if (!header.empty()) flags |= messageFlags::kUserDataHeader;
  } else {
    const std::string charset = paramOf(params, {"charset"}).value_or("UTF-8");
    const std::optional<std::string> text = textToUtf8(*raw, charset);
    if (!text) return refuse(400, "Text is not valid " + charset);
    message.text = *text;
    if (coding == "2") flags |= messageFlags::kUcs2;
    if (udh) mapping.notes.push_back("udh is only used with coding=1, ignored");
  }

  if (const auto mclass = paramOf(params, {"mclass"})) {
    const std::optional<long> value = wholeNumber(*mclass);
    if (!value || *value > 3) return refuse(400, "Invalid mclass " + *mclass);
    if (*value == 0) {
      message.flash = true;
    } else {
      flags |= static_cast<std::int32_t>(*value) << messageFlags::kClassShift;
    }
  }
  if (const auto validity = paramOf(params, {"validity"})) {
    const std::optional<long> minutes = wholeNumber(*validity);
    if (!minutes || *minutes > kMaxSpoolValidity / 60) {
      return refuse(400, "Invalid validity " + *validity);
    }
    message.validity = static_cast<std::int32_t>(*minutes * 60);
  }
  MessageTime notBefore = 0;
  if (const auto deferred = paramOf(params, {"deferred"})) {
    const std::optional<long> minutes = wholeNumber(*deferred);
    if (!minutes || *minutes > kMaxDeferredMinutes) {
      return refuse(400, "Invalid deferred " + *deferred);
    }
    if (*minutes > 0) notBefore = static_cast<MessageTime>(clock.wallSeconds() + *minutes * 60);
  }
  for (std::string_view field : kIgnoredFields) {
    if (paramOf(params, {field})) {
      mapping.notes.push_back(std::string(field) + " is not supported yet, ignored");
    }
  }

  if (const auto mask = paramOf(params, {"dlr-mask"})) {
    const std::optional<long> value = wholeNumber(*mask);
    if (!value || *value > kAllReports) return refuse(400, "Invalid dlr-mask " + *mask);
    mapping.reportMask = static_cast<int>(*value);
  }
  mapping.reportUrl = paramOf(params, {"dlr-url"}).value_or("");
  if (mapping.reportUrl.empty()) mapping.reportMask = 0;
  mapping.sender = paramOf(params, {"from"}).value_or("");

  // Each number as the spool checks it; one bad number refuses the whole request.
  const std::string refusals = numberRefusals(message, numbers);
  if (!refusals.empty()) return refuse(400, "Invalid request: " + refusals);

  const std::u16string content = fromUtf8(message.text);
  for (const std::string& number : numbers) {
    auto sms = std::make_unique<SMSMessage>(u"", fromUtf8(number), content, -1, clock);
    sms->flags = flags;
    if (message.flash) sms->flags |= messageFlags::kFlash;
    if ((mapping.reportMask & kReportsOfTheCentre) != 0) sms->flags |= messageFlags::kReport;
    if (message.validity > 0) sms->expiry = sms->created + message.validity;
    sms->notBefore = notBefore;
    mapping.messages.push_back(std::move(sms));
  }
  return mapping;
}

}  // namespace parlane
