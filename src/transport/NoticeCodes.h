#pragma once

namespace parlane {

// The numbers of the records handed to the service thread by the engine and the emulator; the
// same numbers are posted to the main window.
namespace notice {
inline constexpr int kIncoming = 1026;  // a message or status report arrived
inline constexpr int kReply = 1027;     // a reply line (flag 1) or an error (flag 0)
// Added to the flag of kReply when the reply answers a command that reads the modem memory: only
// those drive a listing, so a rejected send in the middle of one neither ends it nor reads as a
// memory error.
inline constexpr int kReplyToMemoryRead = 2;
// Added when the reply came the receiver's way, behind every line the modem sent before it.
inline constexpr int kReplyInLineOrder = 4;
inline constexpr int kHandled = 1028;  // a message or USSD request was sent (1) or failed (0)
inline constexpr int kFound = 1029;    // a message found while listing the memory (flag 1: unread)
inline constexpr int kNoticeOnly = 1030;     // nothing to carry, only a wake-up
inline constexpr int kSenderStarted = 1031;  // posted to the window once the sending thread runs
inline constexpr int kConnectRequest = 1033;
// A line of an incoming call ("RING", "+CLIP: ..."), with "calls.handle" 1: the reply event.
inline constexpr int kCall = 1034;
}  // namespace notice

}  // namespace parlane
