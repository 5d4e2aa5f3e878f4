#include "transport/ListReplyEvent.h"

#include <algorithm>
#include <optional>

#include "transport/ReplyText.h"

namespace parlane {

namespace {

// A non-negative decimal number made of digits only; large values saturate (they are clamped to
// the row anyway).
std::optional<long> readNumber(std::u16string_view digits) {
  if (digits.empty()) return std::nullopt;
  long value = 0;
  for (char16_t c : digits) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = std::min(value * 10 + (c - u'0'), 1'000'000L);
  }
  return value;
}

// One element of a group: "n" or "a-b".
void markElement(std::u16string_view element, ListReplyEvent::Row& row) {
  const std::size_t dash = element.find(u'-');
  if (dash == std::u16string_view::npos) {
    const auto n = readNumber(element);
    if (n && *n <= 255) row.set(static_cast<std::size_t>(*n));
    return;
  }
  const std::u16string_view rest = element.substr(dash + 1);
  if (rest.find(u'-') != std::u16string_view::npos) return;
  const auto a = readNumber(element.substr(0, dash));
  const auto b = readNumber(rest);
  if (!a || !b || *a > *b) return;
  for (long v = std::max(*a, 0L); v <= std::min(*b, 255L); ++v)
    row.set(static_cast<std::size_t>(v));
}

ListReplyEvent::Row parseGroup(std::u16string_view group) {
  ListReplyEvent::Row row;
  if (group.size() < 3) return row;
  std::u16string_view inner = group.substr(1, group.size() - 2);
  while (true) {
    const std::size_t comma = inner.find(u',');
    markElement(inner.substr(0, comma), row);
    if (comma == std::u16string_view::npos) break;
    inner.remove_prefix(comma + 1);
  }
  return row;
}

}  // namespace

ListReplyEvent::ListReplyEvent(const AsyncEvent& line)
    : AsyncEvent(kListReply, line.code, {}, line.raw) {
  const std::u16string joined = withoutLineEnds(line.text);
  const std::size_t colon = joined.find(u':');
  if (colon == std::u16string::npos || colon + 1 == joined.size()) {
    malformed = true;
    return;
  }
  text = trimBlanks(std::u16string_view(joined).substr(colon + 1));
  std::u16string values;
  for (char16_t c : text) {
    if (c != u' ') values.push_back(c);
  }
  if (values.size() < 2) {
    malformed = true;
    return;
  }
  // Groups meet where ")", "," and "(" stand in a row.
  std::u16string_view rest(values);
  while (true) {
    const std::size_t joint = rest.find(u"),(");
    if (joint == std::u16string_view::npos) {
      rows.push_back(parseGroup(rest));
      break;
    }
    rows.push_back(parseGroup(rest.substr(0, joint + 1)));
    rest.remove_prefix(joint + 2);
  }
}

bool ListReplyEvent::lookup(int value, int row) const {
  if (row < 0 || static_cast<std::size_t>(row) >= rows.size() || value < 0 || value > 255) {
    return false;
  }
  return rows[static_cast<std::size_t>(row)].test(static_cast<std::size_t>(value));
}

}  // namespace parlane
