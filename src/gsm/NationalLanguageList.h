#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace parlane {

// The language ids of "sms.national_languages": numbers 0 to 13 separated by commas, semicolons
// or spaces, each kept once in the order given. An entry that is no such number is left out and,
// when `rejected` is given, added to it so that the caller can say so.
std::vector<int> parseNationalLanguages(std::u16string_view text,
                                        std::vector<std::u16string>* rejected = nullptr);

}  // namespace parlane
