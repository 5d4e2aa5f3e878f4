#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "transport/ReplySink.h"
#include "transport/UssdLines.h"

namespace parlane {

// Splits the modem's bytes into lines, classifies each line by its beginning and delivers it as
// an event. It does not know which command is pending: unsolicited lines and listings go to the
// receiver's slot, replies to the sender's slots. One parser per channel, used by one thread.
class ReplyParser {
 public:
  struct Classification {
    int kind = 0;
    ReplySlot slot = ReplySlot::Information;
    bool endsReply = false;
  };

  // Consumes the complete lines at the front of data[0, length): the last CR, LF or ">" ends the
  // complete part, the rest moves to the front of `data`. Returns the length of that rest.
  std::size_t parse(char* data, std::size_t length, ReplySink& sink);

  // One line without its line end (never empty), as the framing hands it on. The lines of a
  // USSD text that runs over several lines make one event.
  void handleLine(std::string_view line, ReplySink& sink);

  // The buffer filled up without a line end: the bytes up to the next CR or LF are dropped as
  // well, so that the over-long line never reaches the engine in pieces.
  void skipToLineEnd() { skipping_ = true; }

  // Set while the line last classified announced a message or report body on the next line.
  bool bodyFollows() const { return bodyFollows_; }

  // Kind, target and whether the line ends a reply, for a line and the current flag.
  static Classification classify(std::string_view line, bool bodyFollows);
  // "RING", "+CRING: ..." and the caller's "+CLIP: \"number\",...": an incoming call, for the
  // receiver.
  static bool isCallLine(std::string_view line);
  // Whether the line sets the flag (it announces a body): "+CMT:", "+CBM:", "+CDS:", "+CMGR:",
  // "+CMGL:".
  static bool announcesBody(std::string_view line);
  // Whether a header that announces a body is a text-mode one (its body is the text itself).
  static bool isTextHeader(std::string_view line);

 private:
  bool inTextBody() const { return bodyFollows_ && textBody_; }

  void deliverLine(std::string_view line, ReplySink& sink);
  // Settles the word held back before `next`: the text of the message, or a final result.
  void settleHeldWord(std::string_view next, ReplySink& sink);
  void deliverAs(const Classification& c, std::string_view line, ReplySink& sink);

  UssdLines ussd_;
  bool bodyFollows_ = false;
  bool textBody_ = false;
  // The header that announced the body is a read's or a listing's ("+CMGR:", "+CMGL:"), whose
  // final result comes after the text.
  bool readHeader_ = false;
  // A bare "OK" or "ERROR" right after the text-mode header of a read or a listing: the text
  // itself ("OK" is a common answer) or the final result some modems put before the text. The
  // line after it tells.
  std::string heldWord_;
  bool skipping_ = false;
  // The line last classified was a prompt.
  bool afterPrompt_ = false;
};

}  // namespace parlane
