#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "transport/message/TonValue.h"

namespace parlane {

class SettingsStore;

// Cleans a number in place: drops a "/..." note, a leading "+" (or, for international numbers
// longer than three characters, a leading "00x" or "010" trunk prefix), then "(", ")", "-", "/"
// and spaces. True when the result is a non-empty run of decimal digits; the cleaned text is kept
// either way.
bool NormalizeNumber(std::u16string& number, std::int32_t ton);

// Replaces a leading "ton_src_prefix" of the destination by "ton_dst_prefix" (exact, case
// sensitive). True when the destination changed.
bool ApplyPrefixRewrite(std::u16string& destination, const SettingsStore& settings);

// With "ton_warning" 1, tells the user through the tray (TrayNotifier) that a national-format
// destination ("0x..." with TON 1 or 2) may not be delivered. True when the warning was given.
// The message is sent all the same.
bool WarnNationalFormat(std::u16string_view destination, std::int32_t destinationTon,
                        const SettingsStore& settings);

}  // namespace parlane
