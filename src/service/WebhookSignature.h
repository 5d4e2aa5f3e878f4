#pragma once

#include <string>
#include <string_view>

namespace parlane {

// The value of a webhook's "X-Parlane-Signature" header: "sha256=" and the HMAC-SHA256 of `body`
// keyed with `secret`, in lowercase hexadecimal.
std::string webhookSignature(std::string_view body, std::string_view secret);

}  // namespace parlane
