#pragma once

#include <string>

namespace parlane {

// One reply line of the modem (or a channel happening) on its way from the reading thread to the
// engine. Whoever pops an event from a queue owns it.
class AsyncEvent {
 public:
  // What the event reports.
  enum Kind : int {
    kWritten = 1,       // a write completed; text empty or the body written
    kOk = 2,            // final result "OK"
    kPrompt = 3,        // the ">" prompt
    kError = 4,         // final result "ERROR" (code 100), or the reply time-out (code 0)
    kMessage = 5,       // unsolicited "+CMT:" / "+CBM:", its PDU or text on the next line
    kMessageIndex = 6,  // unsolicited "+CMTI:" / "+CBMI:"
    kInformation = 7,   // any other line: "+CMGR:", "+CMGL:", "+CUSD:", "+CSQ: ...", a PDU line
    kCodedError = 9,    // "+CME ..." / "+CMS ..." with its code, or a port failure with errno
    kStringReply = 10,  // StringReplyEvent
    kListReply = 11,    // ListReplyEvent
    kReport = 12,       // unsolicited "+CDS:", its PDU on the next line
    kReportIndex = 13,  // unsolicited "+CDSI:"
    kCall = 14,         // unsolicited "RING", "+CRING:" or the caller's "+CLIP:" line
  };

  AsyncEvent(int kind, int code, std::u16string text, std::string raw)
      : kind(kind), code(code), text(std::move(text)), raw(std::move(raw)) {}
  virtual ~AsyncEvent() = default;
  AsyncEvent(const AsyncEvent&) = default;
  AsyncEvent& operator=(const AsyncEvent&) = default;

  int kind;
  int code;             // error or result code, 0 when there is none
  std::u16string text;  // the line (decoded from UTF-8) or a message text
  std::string raw;      // the line as UTF-8, without its line end
  // The memory slot the command being answered reads when the line came (-1: none), so that a
  // read message is tied to the slot it was read from.
  int memoryIndex = -1;
  // The deletes the sender had written when the line came; a delete of the slot read then checks
  // that no other delete freed it since.
  std::uint64_t readAt = 0;
};

}  // namespace parlane
