// Reads arbitrary bytes as a spool file, as the gateway does with whatever other programs drop
// into its spool folder. No crash; a reason for every refusal; every message read passes the
// check, and its file as written back reads the same message again.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzCheck.h"
#include "service/SpoolFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace parlane;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const SpoolParse parse = parseSpoolFile(bytes);
  if (!parse.message) {
    check(!parse.error.empty());
    return 0;
  }
  check(parse.error.empty());
  check(!checkSpoolMessage(*parse.message).has_value());
  check(parse.message->to.size() <= kMaxSpoolRecipients);
  const SpoolParse again = parseSpoolFile(formatSpoolFile(*parse.message));
  check(again.message.has_value());
  check(*again.message == *parse.message);
  return 0;
}
