#pragma once

#include <cstddef>
#include <string_view>

namespace parlane {

// Splits text into lines at line feeds, for the readers of the configuration, registry key and
// folder files. A line is given without its line feed and without one carriage return before
// it; a text ending in a line feed has no empty line after it. A last line without a line feed
// is still a line: with `kStripLastCarriageReturn` a carriage return at its end goes too.
class LineSplitter {
 public:
  enum LastLine { kKeepLastCarriageReturn, kStripLastCarriageReturn };

  explicit LineSplitter(std::string_view text, LastLine lastLine = kStripLastCarriageReturn)
      : text_(text), lastLine_(lastLine) {}

  // The next line, or false at the end of the text.
  bool next(std::string_view& line) {
    if (position_ >= text_.size()) return false;
    const std::size_t lineFeed = text_.find('\n', position_);
    const bool terminated = lineFeed != std::string_view::npos;
    const std::size_t end = terminated ? lineFeed : text_.size();
    line = text_.substr(position_, end - position_);
    raw_ = line;
    terminated_ = terminated;
    position_ = end + 1;
    if ((terminated || lastLine_ == kStripLastCarriageReturn) && !line.empty() &&
        line.back() == '\r') {
      line.remove_suffix(1);
    }
    return true;
  }

  // The line next() gave last, as it stood: with the carriage return it took off.
  std::string_view rawLine() const { return raw_; }
  // False when that line was the last one and no line feed ended it.
  bool endedByLineFeed() const { return terminated_; }

 private:
  std::string_view text_;
  LastLine lastLine_;
  std::size_t position_ = 0;
  std::string_view raw_;
  bool terminated_ = false;
};

}  // namespace parlane
