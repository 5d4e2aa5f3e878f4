#pragma once

#include <string>
#include <string_view>

namespace parlane {

// A message with exactly this text is not sent as typed: one 8-bit unit carrying
// diagnosticPayload() goes out instead, to check the whole way to a handset.
inline constexpr std::u16string_view kDiagnosticText = u"ProbeMarlin7";

// 140 octets, one per UTF-16 unit (the binary encoder takes each unit's low octet).
std::u16string diagnosticPayload();

}  // namespace parlane
