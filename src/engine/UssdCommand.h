#pragma once

#include <string>

namespace parlane {

class USSDRequest;

// The "AT+CUSD=" line of a request: presentation 0 when the request's flag 8 asks for none,
// else 1; the string packed as septets in hexadecimal when "ussd.decode" is 5, else each UTF-16
// unit's low octet; the coding scheme 15 always. Characters that would end the quoted string
// or the line are left out.
std::string ussdCommandLine(const USSDRequest& request, int decodeMode);

// Flag bit of a USSD request that asks for no result presentation.
inline constexpr int kUssdNoPresentation = 8;

}  // namespace parlane
