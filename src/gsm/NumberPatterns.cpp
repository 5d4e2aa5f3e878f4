#include "gsm/NumberPatterns.h"

namespace parlane {

namespace {

bool isFiller(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'-' || c == u'(' || c == u')' || c == u'.';
}

bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }

char16_t folded(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

// The form both sides are compared in: fillers gone, letters folded, no international prefix.
std::u16string cleaned(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (!isFiller(c)) out += folded(c);
  }
  if (out.starts_with(u'+')) {
    out.erase(0, 1);
  } else if (out.starts_with(u"00")) {
    out.erase(0, 2);
  }
  return out;
}

// Glob match with "*" (any run) and "?" (one character), iterative with one back-track point.
bool globMatches(std::u16string_view pattern, std::u16string_view text) {
  std::size_t p = 0;
  std::size_t t = 0;
  std::size_t starAt = std::u16string_view::npos;
  std::size_t starText = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == text[t])) {
      ++p;
      ++t;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      starAt = p++;
      starText = t;
    } else if (starAt != std::u16string_view::npos) {
      p = starAt + 1;
      t = ++starText;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

}  // namespace

NumberPatterns NumberPatterns::parse(std::u16string_view list) {
  NumberPatterns patterns;
  std::size_t begin = 0;
  while (begin <= list.size()) {
    std::size_t end = list.find_first_of(u",;", begin);
    if (end == std::u16string_view::npos) end = list.size();
    std::u16string_view written = list.substr(begin, end - begin);
    while (!written.empty() && isBlank(written.front())) written.remove_prefix(1);
    while (!written.empty() && isBlank(written.back())) written.remove_suffix(1);
    Pattern pattern{std::u16string(written), cleaned(written), false};
    pattern.wildcard = pattern.cleaned.find_first_of(u"*?") != std::u16string::npos;
    // A lone "+" would name every number; it is taken for a slip, as an empty entry is.
    if (!pattern.cleaned.empty()) patterns.patterns_.push_back(std::move(pattern));
    begin = end + 1;
  }
  return patterns;
}

std::u16string_view NumberPatterns::match(std::u16string_view number) const {
  if (patterns_.empty()) return {};
  const std::u16string text = cleaned(number);
  if (text.empty()) return {};
  for (const Pattern& pattern : patterns_) {
    const bool hit =
        pattern.wildcard ? globMatches(pattern.cleaned, text) : text.starts_with(pattern.cleaned);
    if (hit) return pattern.written;
  }
  return {};
}

bool numberAllowed(std::u16string_view number, const NumberPatterns& allow,
                   const NumberPatterns& deny) {
  if (deny.matches(number)) return false;
  return allow.empty() || allow.matches(number);
}

}  // namespace parlane
