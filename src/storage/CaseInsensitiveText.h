#pragma once

#include <string>
#include <string_view>

namespace parlane {

// The lower-case form of one UTF-16 code unit (Unicode simple mapping; surrogates unchanged),
// whatever the process locale.
char16_t lowerCodeUnit(char16_t unit);

// The lowered UTF-16 form of a text: two texts are equal ignoring case exactly when these are.
std::u16string foldedText(std::u16string_view text);
std::u16string foldedText(std::string_view utf8Text);

// Compares stored UTF-8 fields with one search text, code unit by code unit after lowering both.
class CaseInsensitiveText {
 public:
  explicit CaseInsensitiveText(std::u16string_view text);

  bool equals(std::string_view utf8Field) const;
  // An empty text is contained in every field.
  bool containedIn(std::string_view utf8Field) const;

 private:
  std::u16string lowered_;
  bool ascii_ = true;
  std::string loweredAscii_;
  mutable std::u16string scratch_;
};

}  // namespace parlane
