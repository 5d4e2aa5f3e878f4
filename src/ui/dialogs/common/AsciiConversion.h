#pragma once

#include <string>

namespace parlane {

// "convert_to_ascii": accented Latin and Turkish letters and the typographic quotes become their
// plain ASCII look-alikes, so that a text still goes out in the 7-bit alphabet; every other unit
// stays as it is. True when the result is pure ASCII.
bool convertToAscii(std::u16string& text);

}  // namespace parlane
