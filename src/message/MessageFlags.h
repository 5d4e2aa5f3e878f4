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
}  // namespace messageFlags

}  // namespace parlane
