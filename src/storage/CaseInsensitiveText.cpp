#include "storage/CaseInsensitiveText.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>

#include "core/util/Utf.h"
#include "core/util/Utf8Text.h"

namespace parlane {

namespace {

// A UTF-8 locale of its own, so that results don't depend on what setlocale the program ran.
locale_t unicodeLocale() {
  static const locale_t locale = [] {
    locale_t made = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (made == static_cast<locale_t>(0)) {
      made = ::newlocale(LC_CTYPE_MASK, "en_US.UTF-8", static_cast<locale_t>(0));
    }
    return made;
  }();
  return locale;
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

char16_t lowerCodeUnit(char16_t unit) {
  if (unit < 0x80) return (unit >= u'A' && unit <= u'Z') ? static_cast<char16_t>(unit + 32) : unit;
  if (isSurrogate(unit)) return unit;
  const locale_t locale = unicodeLocale();
  if (locale == static_cast<locale_t>(0)) return unit;
  const wint_t lowered = ::towlower_l(static_cast<wint_t>(unit), locale);
  // A mapping that leaves the 16-bit range can't replace a single code unit.
  return lowered <= 0xFFFF ? static_cast<char16_t>(lowered) : unit;
}

std::u16string foldedText(std::u16string_view text) {
  std::u16string folded(text);
  for (char16_t& unit : folded) unit = lowerCodeUnit(unit);
  return folded;
}

std::u16string foldedText(std::string_view utf8Text) {
  std::u16string folded;
  if (isAscii(utf8Text)) {
    folded.reserve(utf8Text.size());
    for (char c : utf8Text) folded.push_back(static_cast<char16_t>(asciiLower(c)));
    return folded;
  }
  appendUtf16(utf8Text, folded);
  for (char16_t& unit : folded) unit = lowerCodeUnit(unit);
  return folded;
}

CaseInsensitiveText::CaseInsensitiveText(std::u16string_view text) {
  lowered_.reserve(text.size());
  for (char16_t unit : text) {
    const char16_t low = lowerCodeUnit(unit);
    lowered_.push_back(low);
    if (unit >= 0x80)
      ascii_ = false;
    else
      loweredAscii_.push_back(static_cast<char>(low));
  }
}

bool CaseInsensitiveText::equals(std::string_view field) const {
  if (ascii_ && isAscii(field)) {
    if (field.size() != loweredAscii_.size()) return false;
    for (size_t i = 0; i < field.size(); ++i) {
      if (asciiLower(field[i]) != loweredAscii_[i]) return false;
    }
    return true;
  }
  // A UTF-8 field of n bytes has between n / 3 and n UTF-16 units: most fields can be told apart
  // without decoding them.
  if (lowered_.size() > field.size() || lowered_.size() * 3 < field.size()) return false;
  scratch_.clear();
  appendUtf16(field, scratch_);
  if (scratch_.size() != lowered_.size()) return false;
  for (size_t i = 0; i < scratch_.size(); ++i) {
    if (lowerCodeUnit(scratch_[i]) != lowered_[i]) return false;
  }
  return true;
}

bool CaseInsensitiveText::containedIn(std::string_view field) const {
  if (lowered_.empty()) return true;
  if (ascii_ && isAscii(field)) {
    if (field.size() < loweredAscii_.size()) return false;
    const auto found =
        std::search(field.begin(), field.end(), loweredAscii_.begin(), loweredAscii_.end(),
                    [](char a, char b) { return asciiLower(a) == b; });
    return found != field.end();
  }
  scratch_.clear();
  appendUtf16(field, scratch_);
  for (char16_t& unit : scratch_) unit = lowerCodeUnit(unit);
  return std::u16string_view(scratch_).find(lowered_) != std::u16string_view::npos;
}

}  // namespace parlane
