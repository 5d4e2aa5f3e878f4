#include "storage/ContentEscaping.h"

namespace parlane {

std::u16string escapeContent(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    switch (c) {
      case u'\r':
        out += u"%0D";
        break;
      case u'\n':
        out += u"%0A";
        break;
      case u'\t':
        out += u"%09";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

std::u16string unescapeContent(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'%' && i + 2 < text.size() && text[i + 1] == u'0') {
      const char16_t code = text[i + 2];
      char16_t replaced = 0;
      if (code == u'D' || code == u'd')
        replaced = u'\r';
      else if (code == u'A' || code == u'a')
        replaced = u'\n';
      else if (code == u'9')
        replaced = u'\t';
      if (replaced != 0) {
        out.push_back(replaced);
        i += 2;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

std::u16string flattenField(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) {
    if (c == u'\t' || c == u'\r' || c == u'\n') c = u' ';
  }
  return out;
}

}  // namespace parlane
