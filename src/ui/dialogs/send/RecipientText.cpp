#include "ui/dialogs/send/RecipientText.h"

namespace parlane {

namespace {

bool isBlank(char16_t unit) {
  return unit == u' ' || unit == u'\t' || unit == u'\r' || unit == u'\n';
}

std::u16string_view trimmed(std::u16string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

bool isGroupLabel(std::u16string_view boxText) { return !boxText.empty() && boxText[0] == u'('; }

std::vector<std::u16string> splitRecipients(std::u16string_view boxText) {
  std::vector<std::u16string> recipients;
  if (isGroupLabel(boxText)) return recipients;
  while (true) {
    const std::size_t comma = boxText.find(u',');
    const std::u16string_view piece = trimmed(boxText.substr(0, comma));
    if (!piece.empty()) recipients.emplace_back(piece);
    if (comma == std::u16string_view::npos) break;
    boxText.remove_prefix(comma + 1);
  }
  return recipients;
}

}  // namespace parlane
