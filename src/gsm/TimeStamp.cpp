#include "gsm/TimeStamp.h"

#include <array>
#include <string>

namespace parlane {

namespace {

// Text fields are capped here, so a wild value can never overflow the arithmetic; the excess
// carries over like that of any out-of-range field.
constexpr int kFieldLimit = 1000000;

long long floorDivide(long long a, long long b) {
  return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

// Days from 1970-01-01 to the first of a month of the proleptic Gregorian calendar.
long long daysFromCivil(long long year, int month) {
  year -= month <= 2;
  const long long era = floorDivide(year, 400);
  const long long yearOfEra = year - era * 400;
  const long long dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5;
  const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

long utcOffsetAt(std::time_t when) {
  std::tm fields{};
  return localtime_r(&when, &fields) ? fields.tm_gmtoff : 0;
}

// The fields as local time of the process time zone. Out-of-range fields carry over as with
// mktime. Done by hand because mktime re-reads the zone files on every call when TZ is unset,
// which made each decoded PDU cost a system call; localtime_r follows the zone that start-up (or
// a later tzset) put in place.
std::time_t localTime(int year, int month, int day, int hour, int minute, int second) {
  const long long monthIndex = static_cast<long long>(month) - 1;
  const long long fullYear = year + floorDivide(monthIndex, 12);
  const int monthOfYear = static_cast<int>(monthIndex - floorDivide(monthIndex, 12) * 12) + 1;
  const long long days = daysFromCivil(fullYear, monthOfYear) + day - 1;
  const long long asUtc = days * 86400 + hour * 3600LL + minute * 60LL + second;
  // The offset of the instant itself: found in two steps, so that a stamp next to a
  // daylight-saving change still lands on one side of it.
  const long long firstGuess = asUtc - utcOffsetAt(static_cast<std::time_t>(asUtc));
  return static_cast<std::time_t>(asUtc - utcOffsetAt(static_cast<std::time_t>(firstGuess)));
}

// One "%d": blanks, an optional sign, then at least one digit.
template <typename Char>
bool readDecimal(std::basic_string_view<Char> text, std::size_t& at, int& value) {
  while (at < text.size() &&
         (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n')) {
    ++at;
  }
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  const std::size_t digitsStart = at;
  long magnitude = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
    if (magnitude < kFieldLimit) magnitude = magnitude * 10 + (text[at] - '0');
    ++at;
  }
  if (at == digitsStart) return false;
  if (magnitude > kFieldLimit) magnitude = kFieldLimit;
  value = static_cast<int>(negative ? -magnitude : magnitude);
  return true;
}

template <typename Char>
std::time_t parseTextTimeStampOf(std::basic_string_view<Char> text) {
  static constexpr std::array<char, 5> kSeparators = {'/', '/', ',', ':', ':'};
  std::array<int, 6> fields{};
  std::size_t at = 0;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) {
      if (at >= text.size() || text[at] != static_cast<Char>(kSeparators[i - 1])) return 0;
      ++at;
    }
    if (!readDecimal(text, at, fields[i])) return 0;
  }
  return localTime(2000 + fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]);
}

int swappedBcd(std::uint8_t octet) { return (octet & 0x0F) * 10 + (octet >> 4); }

}  // namespace

std::optional<std::time_t> decodeTimeStamp(std::span<const std::uint8_t> octets,
                                           std::size_t& position) {
  if (position > octets.size() || octets.size() - position < 8) return std::nullopt;
  const std::uint8_t* stamp = octets.data() + position;
  const int yy = swappedBcd(stamp[0]);
  const int year = yy < 50 ? 2000 + yy : 1900 + yy;
  const std::time_t when =
      localTime(year, swappedBcd(stamp[1]), swappedBcd(stamp[2]), swappedBcd(stamp[3]),
                swappedBcd(stamp[4]), swappedBcd(stamp[5]));
  position += 7;
  return when;
}

std::time_t parseTextTimeStamp(std::string_view text) { return parseTextTimeStampOf(text); }

std::time_t parseTextTimeStamp(std::u16string_view text) { return parseTextTimeStampOf(text); }

}  // namespace parlane
