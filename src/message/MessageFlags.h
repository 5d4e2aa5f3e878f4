#pragma once

#include <cstdint>

namespace parlane {

// Bits of a message's `flags`, kept as they are in the folders' "flags" column.
namespace messageFlags {
// Set by the send dialog.
constexpr std::int32_t kFlash = 1;
constexpr std::int32_t kReport = 4;
// Set on a sent record by its delivery report.
constexpr std::int32_t kDelivered = 16;
constexpr std::int32_t kNotDelivered = 32;
// Set by the HTTP door's sendsms interface: UCS-2 whatever the text holds.
constexpr std::int32_t kUcs2 = 0x1000;
// The content is 8-bit user data written as hexadecimal digits, sent as one unit.
constexpr std::int32_t kBinary = 0x2000;
// That user data starts with a user data header.
constexpr std::int32_t kUserDataHeader = 0x4000;
// Message class 1 to 3 (0: none; class 0 is kFlash).
constexpr std::int32_t kClassMask = 0x30000;
constexpr int kClassShift = 16;
}  // namespace messageFlags

}  // namespace parlane
