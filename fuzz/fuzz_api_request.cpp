// Reads arbitrary bytes as the body of a USSD request and as the query of an inbox page, as the
// HTTP door does with what any client sends. No crash; a code taken is made of digits, "*", "#"
// and "+" only; a page taken has eight lowercase hexadecimal digits (or none) and a limit in range.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "service/HttpInboxPage.h"
#include "service/HttpUssdRequest.h"
#include "service/SendSmsRequest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace parlane;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const UssdRequestMapping ussd = mapUssdRequest(input);
  if (ussd.error.empty()) {
    check(!ussd.code.empty() && ussd.code.size() <= UssdRequestMapping::kMaxCodeLength);
    check(std::all_of(ussd.code.begin(), ussd.code.end(), [](char c) {
      return (c >= '0' && c <= '9') || c == '*' || c == '#' || c == '+';
    }));
  } else {
    check(ussd.code.empty());
  }

  const HttpParams params = parseQueryString(input);
  const InboxPaging paging =
      readInboxPaging(paramOf(params, {"since"}), paramOf(params, {"limit"}));
  if (paging.error.empty()) {
    check(paging.since.empty() || paging.since.size() == 8);
    check(std::all_of(paging.since.begin(), paging.since.end(),
                      [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }));
    check(paging.limit >= 1 && paging.limit <= InboxPaging::kMaxLimit);
  }
  return 0;
}
