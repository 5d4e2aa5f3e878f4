#pragma once

#include <string>
#include <string_view>

#include "gsm/PduEncoderOptions.h"

namespace parlane {

// What the send dialog's counter is given: the text and url as typed, and the settings read when
// the dialog opened.
struct CounterInput {
  std::u16string_view text;
  std::u16string_view url;
  bool push = false;
  // "sender.send_mode" 1.
  bool textMode = false;
  // "convert_to_ascii".
  bool toAscii = false;
  PduEncoderOptions encoder;
};

struct CounterResult {
  int characters = 0;
  // Units the encoder makes of the message; 0 when it would refuse the message as too long.
  int fragments = 1;
  // "7-bit", "16-bit" or, for a push, "utf-8".
  std::u16string coding;
  // In text mode a text that needs more than the 7-bit alphabet can't go out as it is.
  bool nonAsciiInTextMode = false;
  // What the counter line shows.
  std::u16string display;
};

// Counts characters and fragments of the message the dialog would send, through the real encoder.
// Its temporary message carries a fixed id, so counting never uses up message ids.
CounterResult countMessage(const CounterInput& input);

}  // namespace parlane
