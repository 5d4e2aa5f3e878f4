#pragma once

#include <string>
#include <string_view>

namespace parlane {

// The reading of a "+CME ERROR: n" or "+CMS ERROR: n" line: the tail after the 12-character
// prefix; its leading number (as %d reads it) picks the text of the +CME or +CMS table; no number
// (or -1) gives code 100 and the tail itself (the verbose form); a code without a text shows
// the tail, i.e. its digits. A line shorter than the prefix has an empty tail and code 100.
struct ModemErrorLine {
  int code = 100;
  std::u16string text;

  static ModemErrorLine read(std::u16string_view line);
  // The text of a +CMS (cms) or +CME code; empty when the table has none (codes outside 0..999
  // have none: 1000 + n would reach the other table).
  static std::u16string tableText(bool cms, int code);
};

}  // namespace parlane
