#include "transport/ReplyText.h"

namespace parlane {

namespace {

bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

template <typename Char>
bool startsWithNoCaseImpl(std::basic_string_view<Char> text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    Char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<Char>(c - 'a' + 'A');
    char p = prefix[i];
    if (p >= 'a' && p <= 'z') p = static_cast<char>(p - 'a' + 'A');
    if (c != static_cast<Char>(static_cast<unsigned char>(p))) return false;
  }
  return true;
}

}  // namespace

std::u16string withoutLineEnds(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c != u'\r' && c != u'\n') out.push_back(c);
  }
  return out;
}

std::u16string trimBlanks(std::u16string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  return std::u16string(text.substr(begin, end - begin));
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  return startsWithNoCaseImpl(text, prefix);
}

bool startsWithNoCase(std::u16string_view text, std::string_view prefix) {
  return startsWithNoCaseImpl(text, prefix);
}

}  // namespace parlane
