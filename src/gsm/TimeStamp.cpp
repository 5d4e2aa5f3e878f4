#include "gsm/TimeStamp.h"

#include <array>
#include <string>

namespace parlane {

namespace {

// Fields far outside any calendar still reach mktime in range, so a wild value can never overflow
// the arithmetic; mktime carries the excess over as it does for any out-of-range field.
constexpr int kFieldLimit = 1000000;

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm fields{};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  fields.tm_isdst = -1;  // let the time zone rules decide
  return std::mktime(&fields);
}

// One "%d": blanks, an optional sign, then at least one digit.
template <typename Char>
bool ReadDecimal(std::basic_string_view<Char> text, std::size_t& at, int& value) {
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
std::time_t ParseTextTimeStampOf(std::basic_string_view<Char> text) {
  static constexpr std::array<char, 5> kSeparators = {'/', '/', ',', ':', ':'};
  std::array<int, 6> fields{};
  std::size_t at = 0;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) {
      if (at >= text.size() || text[at] != static_cast<Char>(kSeparators[i - 1])) return 0;
      ++at;
    }
    if (!ReadDecimal(text, at, fields[i])) return 0;
  }
  return LocalTime(2000 + fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]);
}

int SwappedBcd(std::uint8_t octet) { return (octet & 0x0F) * 10 + (octet >> 4); }

}  // namespace

std::optional<std::time_t> DecodeTimeStamp(std::span<const std::uint8_t> octets,
                                           std::size_t& position) {
  if (position > octets.size() || octets.size() - position < 8) return std::nullopt;
  const std::uint8_t* stamp = octets.data() + position;
  const int yy = SwappedBcd(stamp[0]);
  const int year = yy < 50 ? 2000 + yy : 1900 + yy;
  const std::time_t when =
      LocalTime(year, SwappedBcd(stamp[1]), SwappedBcd(stamp[2]), SwappedBcd(stamp[3]),
                SwappedBcd(stamp[4]), SwappedBcd(stamp[5]));
  position += 7;
  return when;
}

std::time_t ParseTextTimeStamp(std::string_view text) { return ParseTextTimeStampOf(text); }

std::time_t ParseTextTimeStamp(std::u16string_view text) { return ParseTextTimeStampOf(text); }

}  // namespace parlane
