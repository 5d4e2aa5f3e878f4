#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "message/TonValue.h"

namespace parlane {

// Cleans a number in place: drops a "/..." note, a leading "+" (or, for international numbers
// longer than three characters, a leading "00x" or "010" trunk prefix), then "(", ")", "-", "/"
// and spaces. True when the result is a non-empty run of decimal digits; the cleaned text is kept
// either way.
bool normalizeNumber(std::u16string& number, std::int32_t ton);

// Two received numbers name the same party when they differ at most by a leading "+": folders
// written before international numbers kept their "+" hold the bare digits.
bool sameNumber(std::u16string_view a, std::u16string_view b);

// Replaces a leading `fromPrefix` ("ton_src_prefix") of the destination by `toPrefix`
// ("ton_dst_prefix"), exact and case sensitive. An empty `fromPrefix` changes nothing. True when
// the destination changed.
bool applyPrefixRewrite(std::u16string& destination, std::u16string_view fromPrefix,
                        std::u16string_view toPrefix);

// True when the user should be warned that a national-format destination ("0x..." with TON 1
// or 2) may not be delivered: only with `warningEnabled` ("ton_warning" 1). Telling the user
// (a balloon titled text::kWarning with text::kNationalFormatWarning) is the caller's; the message
// is sent all the same.
bool warnNationalFormat(std::u16string_view destination, std::int32_t destinationTon,
                        bool warningEnabled);

}  // namespace parlane
