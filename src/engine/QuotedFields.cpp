#include "engine/QuotedFields.h"

#include "transport/ReplyText.h"

namespace parlane {

namespace {

std::u16string cleanField(std::u16string_view raw) {
  std::u16string field = trimBlanks(raw);
  if (field.size() >= 2 && field.front() == u'"' && field.back() == u'"') {
    field = field.substr(1, field.size() - 2);
  }
  return field;
}

}  // namespace

std::vector<std::u16string> splitQuotedFields(std::u16string_view value) {
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

int readIndexField(std::u16string_view field) {
  if (field.empty() || field.size() > 9) return -1;
  int value = 0;
  for (char16_t c : field) {
    if (c < u'0' || c > u'9') return -1;
    value = value * 10 + (c - u'0');
  }
  return value;
}

}  // namespace parlane
