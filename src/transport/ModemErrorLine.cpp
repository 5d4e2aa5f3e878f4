#include "transport/ModemErrorLine.h"

#include <climits>
#include <optional>

#include "core/util/StringTable.h"
#include "transport/ReplyText.h"

namespace parlane {

namespace {

constexpr std::size_t kPrefixLength = 12;  // "+CME ERROR: "
constexpr int kNoNumberCode = 100;

// A decimal integer at the start of `text` as %d reads it: leading white space skipped, an
// optional sign, then digits; out-of-range values saturate.
std::optional<long long> scanInteger(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  const std::size_t firstDigit = i;
  long long value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    if (value < LLONG_MAX / 10) value = value * 10 + (text[i] - u'0');
  }
  if (i == firstDigit) return std::nullopt;
  value = negative ? -value : value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return value;
}

}  // namespace

ModemErrorLine ModemErrorLine::read(std::u16string_view line) {
  const std::u16string_view tail =
      line.size() > kPrefixLength ? line.substr(kPrefixLength) : std::u16string_view();
  ModemErrorLine result;
  const std::optional<long long> number = scanInteger(tail);
  if (!number || *number == -1) {
    result.code = kNoNumberCode;
    result.text = std::u16string(tail);
    return result;
  }
  result.code = static_cast<int>(*number);
  result.text = tableText(startsWithNoCase(line, "+CMS"), result.code);
  if (result.text.empty()) result.text = std::u16string(tail);
  return result;
}

std::u16string ModemErrorLine::tableText(bool cms, int code) {
  // The tables are numbered 1000 + n and 2000 + n; a code outside 0..999 would land on the other
  // table's entry (or a window text).
  if (code < 0 || code > 999) return {};
  return loadString((cms ? 2000 : 1000) + code);
}

}  // namespace parlane
