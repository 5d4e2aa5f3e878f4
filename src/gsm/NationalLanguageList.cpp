#include "gsm/NationalLanguageList.h"

#include <algorithm>

#include "gsm/NationalTables.h"

namespace parlane {

namespace {

bool isSeparator(char16_t unit) {
  return unit == u',' || unit == u';' || unit == u' ' || unit == u'\t';
}

// A decimal number from 0 to kLastNationalLanguage, or -1.
int languageId(std::u16string_view entry) {
  if (entry.empty() || entry.size() > 2) return -1;
  int value = 0;
  for (char16_t unit : entry) {
    if (unit < u'0' || unit > u'9') return -1;
    value = value * 10 + (unit - u'0');
  }
  return value <= kLastNationalLanguage ? value : -1;
}

}  // namespace

std::vector<int> parseNationalLanguages(std::u16string_view text,
                                        std::vector<std::u16string>* rejected) {
  std::vector<int> languages;
  std::size_t at = 0;
  while (at < text.size()) {
    if (isSeparator(text[at])) {
      ++at;
      continue;
    }
    std::size_t end = at;
    while (end < text.size() && !isSeparator(text[end])) ++end;
    const std::u16string_view entry = text.substr(at, end - at);
    at = end;
    const int language = languageId(entry);
    if (language < 0) {
      if (rejected != nullptr) rejected->emplace_back(entry);
    } else if (std::find(languages.begin(), languages.end(), language) == languages.end()) {
      languages.push_back(language);
    }
  }
  return languages;
}

}  // namespace parlane
