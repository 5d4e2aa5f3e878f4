#include "service/UrlEscapes.h"

#include <ctime>
#include <optional>
#include <utility>

namespace parlane {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string minuteTime(long long seconds) {
  const std::time_t when = static_cast<std::time_t>(seconds);
  std::tm parts{};
  if (::gmtime_r(&when, &parts) == nullptr) return std::string();
  char text[40];
  if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &parts) == 0) return std::string();
  return text;
}

// The first word and the words after it, as keyword services split a message.
std::pair<std::string_view, std::string_view> firstWord(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size() && isSpace(text[begin])) ++begin;
  std::size_t end = begin;
  while (end < text.size() && !isSpace(text[end])) ++end;
  std::size_t rest = end;
  while (rest < text.size() && isSpace(text[rest])) ++rest;
  return {text.substr(begin, end - begin), text.substr(rest)};
}

std::optional<std::string> escapeValue(char escape, const UrlEscapeValues& values,
                                       UrlEscapeSet set) {
  switch (escape) {
    case 'd':
      return values.reportValue;
    case 'p':
      return values.receiver;
    case 'P':
      return values.sender;
    case 'q':
      return values.receiver.starts_with("00") ? "+" + values.receiver.substr(2) : values.receiver;
    case 't':
      return minuteTime(values.time);
    case 'T':
      return std::to_string(values.time);
    case 'I':
      return values.id;
    case 'A':
      return values.answer;
    case 'F':
      return values.reference;
    default:
      break;
  }
  if (set != UrlEscapeSet::Incoming) return std::nullopt;
  switch (escape) {
    case 'a':
      return values.text;
    case 'k':
      return std::string(firstWord(values.text).first);
    case 'r':
      return std::string(firstWord(values.text).second);
    case 'i':
      return values.instance;
    default:
      return std::nullopt;
  }
}

}  // namespace

std::string urlEncoded(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto octet = static_cast<unsigned char>(c);
    if ((octet >= 'A' && octet <= 'Z') || (octet >= 'a' && octet <= 'z') ||
        (octet >= '0' && octet <= '9') || c == '-' || c == '.' || c == '_' || c == '~') {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kHex[octet >> 4]);
      out.push_back(kHex[octet & 15]);
    }
  }
  return out;
}

std::string expandUrlEscapes(std::string_view pattern, const UrlEscapeValues& values,
                             UrlEscapeSet set) {
  std::string out;
  out.reserve(pattern.size());
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%' || i + 1 == pattern.size()) {
      out.push_back(pattern[i]);
    } else if (pattern[i + 1] == '%') {
      out.push_back('%');
      ++i;
    } else if (const std::optional<std::string> value = escapeValue(pattern[i + 1], values, set)) {
      out += urlEncoded(*value);
      ++i;
    } else {
      // Not an escape of this URL: kept, so that the receiver sees what was configured.
      out.push_back('%');
    }
  }
  return out;
}

}  // namespace parlane
