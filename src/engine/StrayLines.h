#pragma once

#include <string_view>

namespace parlane {

// Lines a modem may send at any time that answer no command: unsolicited results ("RING",
// "+CREG: 1", "+CMTI: ..."), vendor status lines ("^RSSI:5", "^BOOT:...") and start-up banners
// ("RDY", "SMS Ready", "+CPIN: READY"). Taken for the answer to a probe, one of them fails the
// probe or becomes the model name. A "+CUSD:" line is not one of them: it may be asked for.
bool isStrayLine(std::u16string_view line);

}  // namespace parlane
