#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace parlane {

class GenericMessage;

// One line of a pasted list: "number,text".
struct SendListEntry {
  std::u16string number;
  std::u16string text;
};

struct ParsedSendList {
  std::vector<SendListEntry> entries;
  // Lines (counted from 1) that are empty, have no comma, no number that can be sent to, or no
  // text: none of them is sent.
  std::vector<std::size_t> rejectedLines;
};

// Splits the list into lines (LF, CR LF or CR) and each line at its first comma into the number
// (blanks around it dropped) and the text (kept as it is). The end of the last line needs no line
// break.
ParsedSendList parseSendList(std::u16string_view list);

// One SMSMessage per entry, automatic type of number, with the delivery report flag when
// `report` and the text converted to ASCII when `toAscii`.
std::vector<std::unique_ptr<GenericMessage>> buildListMessages(
    const std::vector<SendListEntry>& entries, bool report, bool toAscii);

}  // namespace parlane
