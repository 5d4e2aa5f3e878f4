#pragma once

#include <bitset>
#include <string>
#include <vector>

#include "transport/AsyncEvent.h"

namespace parlane {

// The answer of a test command as a table: "+CNMI: (0-3),(0-3),(0,2,3),(0-1),(0)" gives one row
// per parenthesised group, each row the set of values 0..255 it names.
class ListReplyEvent : public AsyncEvent {
 public:
  using Row = std::bitset<256>;

  // From a line event (kind 7); code and raw are copied, text becomes the trimmed value part.
  explicit ListReplyEvent(const AsyncEvent& line);

  // Whether `value` is in row `row`; false for a row or value out of range.
  bool lookup(int value, int row) const;

  std::u16string name;  // always empty
  std::vector<Row> rows;
  bool malformed = false;  // no ":", nothing after it, or under 2 characters once spaces are gone
};

}  // namespace parlane
