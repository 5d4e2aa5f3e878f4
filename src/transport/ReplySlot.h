#pragma once

namespace parlane {

// Index of the reply queue that receives an event. The sender attaches one queue to every slot
// but Unsolicited, which belongs to the receiver.
enum class ReplySlot : int {
  Written = 0,      // kind 1
  Ok = 1,           // kind 2
  Prompt = 2,       // kind 3
  Failure = 3,      // kinds 4 and 9
  Unsolicited = 4,  // kinds 5, 6, 7 (listings, message bodies), 12, 13
  Information = 5,  // kind 7
};

inline constexpr int kReplySlotCount = 6;

}  // namespace parlane
