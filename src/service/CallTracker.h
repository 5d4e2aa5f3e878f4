#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace parlane {

// Tells the calls apart in what a ringing modem says: a "RING" every few seconds, each followed
// by the caller's "+CLIP:" line where caller numbers were asked for. A call is announced once:
// at its first caller line, or at its second ring when no caller line came (the number is then
// not known). A call ends when nothing has rung for kQuietMs; the next ring is a new call. Times
// are on one monotonic scale (Clock::monotonicMs). One thread.
class CallTracker {
 public:
  // Longer than the pause between two rings of one call (about 5 s on GSM networks).
  static constexpr std::int64_t kQuietMs = 8000;

  // A "RING": the call to announce now (an empty number: unknown), if any.
  std::optional<std::u16string> ring(std::int64_t nowMs);
  // A caller line with its number (empty when withheld).
  std::optional<std::u16string> caller(std::u16string number, std::int64_t nowMs);

 private:
  // Ends the call in hand when it has been quiet long enough, and notes the ring.
  void touch(std::int64_t nowMs);

  bool inCall_ = false;
  bool announced_ = false;
  int ringsWithoutCaller_ = 0;
  std::int64_t lastMs_ = 0;
};

// The number of a "+CLIP:" line ("+CLIP: \"+4917012345\",145,..."), with the "+" its type of
// address 145 (international) stands for; empty when the line holds none.
std::u16string callerNumber(std::u16string_view line);

}  // namespace parlane
