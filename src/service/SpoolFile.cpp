#include "service/SpoolFile.h"

#include <algorithm>
#include <charconv>

#include "core/util/ScheduleTime.h"
#include "core/util/Utf.h"
#include "core/util/Utf8Text.h"
#include "gsm/Numbers.h"
#include "message/TonValue.h"

namespace parlane {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::string lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::optional<bool> readSwitch(std::string_view value) {
  const std::string word = lower(value);
  if (word == "yes" || word == "1" || word == "true" || word == "on") return true;
  if (word == "no" || word == "0" || word == "false" || word == "off") return false;
  return std::nullopt;
}

std::optional<std::int32_t> readNumber(std::string_view value, std::int32_t low,
                                       std::int32_t high) {
  std::int32_t number = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (error != std::errc() || end != value.data() + value.size() || value.empty()) {
    return std::nullopt;
  }
  if (number < low || number > high) return std::nullopt;
  return number;
}

bool hasControl(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](unsigned char c) { return c < 0x20 || c == 0x7F; });
}

// One header line into `message`; the reason when it can't be read.
std::optional<std::string> readHeader(std::string_view line, SpoolMessage& message, bool& typeGiven,
                                      std::int64_t now) {
  const auto colon = line.find(':');
  if (colon == std::string_view::npos) return "header line without a colon: " + std::string(line);
  const std::string key = lower(trim(line.substr(0, colon)));
  const std::string_view value = trim(line.substr(colon + 1));
  if (key == "to") {
    std::string_view rest = value;
    while (true) {
      const auto comma = rest.find(',');
      const std::string_view number = trim(rest.substr(0, comma));
      if (!number.empty()) message.to.emplace_back(number);
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 1);
    }
    // Counted as they come, so that a huge list is refused without being kept.
    if (message.to.size() > kMaxSpoolRecipients) {
      return "more than " + std::to_string(kMaxSpoolRecipients) + " recipients";
    }
  } else if (key == "flash" || key == "report") {
    const std::optional<bool> on = readSwitch(value);
    if (!on) return key + ": yes or no expected, not \"" + std::string(value) + "\"";
    (key == "flash" ? message.flash : message.report) = *on;
  } else if (key == "ton") {
    message.ton = readNumber(value, kTonUnknown, kTonShortCode);
    if (!message.ton) return "ton: 0 to 4 expected, not \"" + std::string(value) + "\"";
  } else if (key == "validity") {
    const std::optional<std::int32_t> seconds = readNumber(value, 1, kMaxSpoolValidity);
    if (!seconds) {
      return "validity: seconds from 1 to " + std::to_string(kMaxSpoolValidity) +
             " expected, not \"" + std::string(value) + "\"";
    }
    message.validity = *seconds;
  } else if (key == "send-after" || key == "expires") {
    const ScheduleTimeParse time = parseScheduleTime(value, now);
    if (!time.seconds) return key + ": " + time.error + ", not \"" + std::string(value) + "\"";
    (key == "expires" ? message.expires : message.sendAfter) = time.seconds;
    if (key == "expires" && *time.seconds <= now) {
      return "expires: " + std::string(value) + " is past already";
    }
  } else if (key == "url") {
    message.url = std::string(value);
  } else if (key == "type") {
    const std::string type = lower(value);
    if (type != "sms" && type != "push" && type != "ussd") {
      return "type: sms, push or ussd expected, not \"" + std::string(value) + "\"";
    }
    message.ussd = type == "ussd";
    typeGiven = typeGiven || type == "push";
  } else {
    return "unknown header \"" + std::string(trim(line.substr(0, colon))) + "\"";
  }
  return std::nullopt;
}

}  // namespace

SpoolParse parseSpoolFile(std::string_view bytes, std::int64_t now) {
  SpoolParse result;
  if (bytes.size() > kMaxSpoolFileBytes) {
    result.error = "larger than " + std::to_string(kMaxSpoolFileBytes) + " bytes";
    return result;
  }
  if (bytes.find('\0') != std::string_view::npos) {
    result.error = "holds NUL bytes: not a text file";
    return result;
  }
  if (!isValidUtf8(bytes)) {
    result.error = "not valid UTF-8";
    return result;
  }
  if (bytes.starts_with(kByteOrderMark)) bytes.remove_prefix(kByteOrderMark.size());

  SpoolMessage message;
  bool pushTypeGiven = false;
  bool blankLineSeen = false;
  std::string_view rest = bytes;
  while (!rest.empty()) {
    const auto newline = rest.find('\n');
    if (newline == std::string_view::npos) break;  // a header without the text part
    const std::string_view line = rest.substr(0, newline);
    rest.remove_prefix(newline + 1);
    if (trim(line).empty()) {
      blankLineSeen = true;
      break;
    }
    if (auto error = readHeader(line, message, pushTypeGiven, now)) {
      result.error = std::move(*error);
      return result;
    }
  }
  if (!blankLineSeen) {
    result.error = "no blank line between the header and the text";
    return result;
  }
  if (rest.ends_with("\r\n")) {
    rest.remove_suffix(2);
  } else if (rest.ends_with('\n')) {
    rest.remove_suffix(1);
  }
  message.text = std::string(rest);
  if (pushTypeGiven && message.url.empty()) {
    result.error = "type push without a url";
    return result;
  }
  if (auto error = checkSpoolMessage(message)) {
    result.error = std::move(*error);
    return result;
  }
  result.message = std::move(message);
  return result;
}

std::optional<std::string> checkSpoolMessage(const SpoolMessage& message) {
  if (!isValidUtf8(message.text) || !isValidUtf8(message.url)) return "not valid UTF-8";
  if (message.text.find('\0') != std::string::npos) return "the text holds NUL bytes";
  if (message.to.size() > kMaxSpoolRecipients) {
    return "more than " + std::to_string(kMaxSpoolRecipients) + " recipients";
  }
  if (message.sendAfter && message.expires && *message.expires <= *message.sendAfter) {
    return "it expires before it may be sent";
  }
  if (message.ussd) {
    if (!message.to.empty()) return "a USSD request takes no number";
    if (!message.url.empty()) return "a USSD request takes no url";
    if (trim(message.text).empty()) return "no USSD code";
    if (hasControl(message.text)) return "the USSD code holds control characters";
    return std::nullopt;
  }
  if (message.to.empty()) return "no number";
  for (const std::string& number : message.to) {
    std::u16string digits = fromUtf8(number);
    if (hasControl(number) || !isValidUtf8(number) ||
        !normalizeNumber(digits, message.ton.value_or(kTonInternational)) ||
        digits.size() > kMaxNumberDigits ||
        digits.find_first_not_of(u'0') == std::u16string::npos) {
      return "\"" + number + "\" is not a phone number";
    }
  }
  if (message.ton && (*message.ton < kTonUnknown || *message.ton > kTonShortCode)) {
    return "ton: 0 to 4 expected";
  }
  if (message.validity < 0 || message.validity > kMaxSpoolValidity) return "validity out of range";
  if (hasControl(message.url)) return "the url holds control characters";
  if (fromUtf8(message.url).size() > kMaxPushUrlCharacters) {
    return "the url is longer than " + std::to_string(kMaxPushUrlCharacters) + " characters";
  }
  if (message.text.empty() && message.url.empty()) return "an empty text";
  return std::nullopt;
}

std::string numberRefusals(const SpoolMessage& message, const std::vector<std::string>& numbers) {
  std::string refusals;
  for (const std::string& number : numbers) {
    SpoolMessage one = message;
    one.to = {number};
    if (const std::optional<std::string> problem = checkSpoolMessage(one)) {
      if (!refusals.empty()) refusals += "; ";
      refusals += *problem;
    }
  }
  return refusals;
}

std::string formatSpoolFile(const SpoolMessage& message) {
  std::string out;
  for (const std::string& number : message.to) out += "To: " + number + "\n";
  if (message.ussd) out += "Type: ussd\n";
  if (message.flash) out += "Flash: yes\n";
  if (message.report) out += "Report: yes\n";
  if (message.ton) out += "Ton: " + std::to_string(*message.ton) + "\n";
  if (message.validity > 0) out += "Validity: " + std::to_string(message.validity) + "\n";
  if (!message.url.empty()) out += "Url: " + message.url + "\n";
  if (message.sendAfter) out += "Send-After: " + formatScheduleTime(*message.sendAfter) + "\n";
  if (message.expires) out += "Expires: " + formatScheduleTime(*message.expires) + "\n";
  out += "\n";
  out += message.text;
  // The reader takes one line end off the text: a text that ends in CR keeps it.
  out += message.text.ends_with('\r') ? "\r\n" : "\n";
  return out;
}

}  // namespace parlane
