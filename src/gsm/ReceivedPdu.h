#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "gsm/SmsCoding.h"

namespace parlane {

// What one decoded incoming PDU yields: an SMS-DELIVER or an SMS-STATUS-REPORT.
struct ReceivedPdu {
  static constexpr std::int32_t kDeliver = 1;
  static constexpr std::int32_t kStatusReport = 4;

  std::int32_t kind = kDeliver;
  std::time_t time = 0;  // service centre time stamp, local time
  // Sender of a message; recipient of a status report.
  std::u16string party;
  // User data header without its length octet; empty when there is none.
  std::vector<std::uint8_t> header;
  SmsCoding coding = SmsCoding::Gsm7;
  std::int32_t reference = 0;
  std::int32_t total = 1;
  std::int32_t index = 0;  // part number minus one
  std::u16string text;
  std::int32_t memoryIndex = -1;   // set by whoever read it from the modem memory
  std::uint64_t memoryReadAt = 0;  // when, in the sender's count of deletes (see ModemSlot)
  std::int32_t messageReference = 0;
  std::time_t dischargeTime = 0;
  std::int32_t status = 0;  // raw TP-ST octet
  std::int32_t portAddressed = 0;
  // Tables a 7-bit text was read with, from the header's national language elements: the language
  // ids of the locking shift and the single shift table, 0 for the default ones.
  std::int32_t lockingLanguage = 0;
  std::int32_t shiftLanguage = 0;
};

}  // namespace parlane
