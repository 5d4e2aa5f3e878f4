#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace parlane {

// A "+CUSD:" reply whose quoted text runs over several lines (a menu): the modem sends the line
// breaks of the text as they are. Its lines are gathered into one reply, joined by line feeds,
// until the line that closes the quote. A final result ends a reply that never closes, as does
// its length, so that a stray quote can't swallow the replies after it.
class UssdLines {
 public:
  bool open() const { return !text_.empty(); }
  // A "+CUSD:" line whose quote stays open: kept, true. Any other line: false.
  bool begins(std::string_view line);
  // A further line of the open reply; true once the reply is complete.
  bool append(std::string_view line);
  // A final result ("OK", "ERROR", "+CME ...", "+CMS ...") is no line of a text.
  static bool endsUnclosed(std::string_view line);
  // The gathered reply; nothing is open afterwards.
  std::string take();

 private:
  static constexpr std::size_t kMaxLines = 64;
  static constexpr std::size_t kMaxBytes = 8192;

  std::string text_;
  std::size_t lines_ = 0;
};

}  // namespace parlane
