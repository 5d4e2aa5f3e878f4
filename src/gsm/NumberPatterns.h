#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace parlane {

// A list of number patterns as the user writes it in one setting: "+49, 0800*; *999". Patterns
// are separated by commas or semicolons; blanks, "-", "(", ")" and "." inside them are ignored.
// A pattern without "*" is a prefix ("+49" names every German number); one with "*" must match
// the whole number, each "*" standing for any run of characters ("+49*00" ends in 00). A "?"
// stands for one character. Numbers are compared as the folders compare them: a leading "+" (or
// the international "00") does not count, and letters of alphanumeric senders ignore case.
class NumberPatterns {
 public:
  NumberPatterns() = default;
  static NumberPatterns parse(std::u16string_view list);

  bool empty() const { return patterns_.empty(); }
  // The pattern that names `number`, as the user wrote it; empty when none does.
  std::u16string_view match(std::u16string_view number) const;
  bool matches(std::u16string_view number) const { return !match(number).empty(); }

 private:
  struct Pattern {
    std::u16string written;
    std::u16string cleaned;
    bool wildcard = false;
  };
  std::vector<Pattern> patterns_;
};

// Whether an outgoing message may go to `number`: a deny pattern that names it wins; otherwise
// it must be named by an allow pattern, unless there are none.
bool numberAllowed(std::u16string_view number, const NumberPatterns& allow,
                   const NumberPatterns& deny);

}  // namespace parlane
