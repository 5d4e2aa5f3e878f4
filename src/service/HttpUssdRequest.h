#pragma once

#include <string>
#include <string_view>

namespace parlane {

// The body of POST /api/v1/ussd: {"code": "*100#"}. The code is what the network's USSD menus
// take: digits, "*", "#" and "+", at most kMaxCodeLength of them.
struct UssdRequestMapping {
  static constexpr std::size_t kMaxCodeLength = 160;

  std::string code;
  std::string error;  // not empty: refused with it
};

UssdRequestMapping mapUssdRequest(std::string_view body);

}  // namespace parlane
