#include "gsm/CodingScheme.h"

namespace parlane {

// Only the general groups carry the alphabet in bits 2 and 3; the message-waiting groups are
// 7-bit (or UCS2 for 1110), the data group has just the 8-bit flag, and reserved groups are read
// as 7-bit. Masking every scheme with 0x0C would read a message-waiting text as UCS2.
SmsCoding codingOf(std::uint8_t dcs) {
  switch (dcs >> 4) {
    case 0x0:
    case 0x1:
    case 0x2:
    case 0x3:
    case 0x4:
    case 0x5:
    case 0x6:
    case 0x7: {
      const int coding = dcs & 0x0C;
      // The reserved value is read as UCS2.
      return coding == 0x0C ? SmsCoding::Ucs2 : static_cast<SmsCoding>(coding);
    }
    case 0xE:
      return SmsCoding::Ucs2;
    case 0xF:
      return (dcs & 0x04) != 0 ? SmsCoding::Data8 : SmsCoding::Gsm7;
    default:
      return SmsCoding::Gsm7;
  }
}

}  // namespace parlane
