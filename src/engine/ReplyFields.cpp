#include "engine/ReplyFields.h"

namespace parlane {

namespace {

bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

std::u16string_view trimBlanks(std::u16string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::u16string cleanField(std::u16string_view field) {
  field = trimBlanks(field);
  if (field.size() >= 2 && field.front() == u'"' && field.back() == u'"') {
    field = field.substr(1, field.size() - 2);
  }
  return std::u16string(field);
}

}  // namespace

std::vector<std::u16string> splitReplyFields(std::u16string_view value) {
  std::vector<std::u16string> fields;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == u'"') {
      quoted = !quoted;
    } else if (value[i] == u',' && !quoted) {
      fields.push_back(cleanField(value.substr(start, i - start)));
      start = i + 1;
    }
  }
  fields.push_back(cleanField(value.substr(start)));
  return fields;
}

std::u16string replyValue(std::u16string_view line) {
  const std::size_t colon = line.find(u':');
  if (colon != std::u16string_view::npos) line.remove_prefix(colon + 1);
  return std::u16string(trimBlanks(line));
}

}  // namespace parlane
