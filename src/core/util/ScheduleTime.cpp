#include "core/util/ScheduleTime.h"

#include <cctype>
#include <charconv>
#include <ctime>

namespace parlane {

namespace {

// Ten years ahead is no schedule but a typo; it also keeps every time within 32 bits.
constexpr std::int64_t kMaxAheadSeconds = 10LL * 366 * 86400;

bool digits(std::string_view text, std::size_t at, std::size_t count, int& value) {
  if (at + count > text.size()) return false;
  value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

int daysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

ScheduleTimeParse fail(std::string error) {
  ScheduleTimeParse parse;
  parse.error = std::move(error);
  return parse;
}

ScheduleTimeParse readIso(std::string_view text) {
  const std::string expected =
      "seconds from now or a date and time such as 2026-12-24T18:00 expected";
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!digits(text, 0, 4, year) || text.size() < 16 || text[4] != '-' ||
      !digits(text, 5, 2, month) || text[7] != '-' || !digits(text, 8, 2, day) ||
      (text[10] != 'T' && text[10] != 't' && text[10] != ' ') || !digits(text, 11, 2, hour) ||
      text[13] != ':' || !digits(text, 14, 2, minute)) {
    return fail(expected);
  }
  std::size_t at = 16;
  if (at < text.size() && text[at] == ':') {
    if (!digits(text, at + 1, 2, second)) return fail(expected);
    at += 3;
    // Fractions of a second are dropped.
    if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
      ++at;
      const std::size_t start = at;
      while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
      if (at == start) return fail(expected);
    }
  }
  if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 59) {
    return fail("no such date or time: " + std::string(text));
  }
  const std::string_view zone = text.substr(at);
  std::optional<std::int64_t> offset;
  if (zone == "Z" || zone == "z") {
    offset = 0;
  } else if (!zone.empty()) {
    int zoneHours = 0, zoneMinutes = 0;
    const bool sign = zone[0] == '+' || zone[0] == '-';
    bool good = sign && digits(zone, 1, 2, zoneHours);
    if (good && zone.size() == 6) {
      good = zone[3] == ':' && digits(zone, 4, 2, zoneMinutes);
    } else if (good && zone.size() == 5) {
      good = digits(zone, 3, 2, zoneMinutes);
    } else if (good) {
      good = zone.size() == 3;
    }
    if (!good || zoneHours > 23 || zoneMinutes > 59) {
      return fail("time zone: Z or an offset such as +01:00 expected, not \"" + std::string(zone) +
                  "\"");
    }
    offset = (zone[0] == '-' ? -1 : 1) * (zoneHours * 3600 + zoneMinutes * 60);
  }
  ScheduleTimeParse parse;
  if (offset) {
    parse.seconds =
        daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second - *offset;
    return parse;
  }
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  const std::time_t when = std::mktime(&local);
  if (when == static_cast<std::time_t>(-1)) return fail("no such local time: " + std::string(text));
  parse.seconds = when;
  return parse;
}

}  // namespace

ScheduleTimeParse parseScheduleTime(std::string_view text, std::int64_t now) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  if (text.empty()) return fail("no time given");
  ScheduleTimeParse parse;
  if (text.size() <= 12 && text.find_first_not_of("0123456789") == std::string_view::npos) {
    std::int64_t seconds = 0;
    std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (seconds > kMaxAheadSeconds) return fail("more than ten years ahead");
    parse.seconds = now + seconds;
    return parse;
  }
  parse = readIso(text);
  if (parse.seconds && *parse.seconds - now > kMaxAheadSeconds) {
    return fail("more than ten years ahead");
  }
  if (parse.seconds && *parse.seconds < 0) return fail("before 1970");
  return parse;
}

std::string formatScheduleTime(std::int64_t seconds) {
  const std::time_t when = static_cast<std::time_t>(seconds);
  std::tm parts{};
  ::gmtime_r(&when, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

}  // namespace parlane
