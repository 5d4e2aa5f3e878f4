// Reads arbitrary bytes as the query string of a sendsms request, as the HTTP door does with what
// any client sends. No crash; a refusal carries a status and a reason and no message; a request
// taken gives one message per receiver, never more than the limit.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzCheck.h"
#include "message/GenericMessage.h"
#include "service/SendSmsRequest.h"

namespace {

constexpr std::size_t kLimit = 5;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace parlane;
  const std::string_view query(reinterpret_cast<const char*>(data), size);
  const SendSmsMapping mapping = mapSendSms(parseQueryString(query), kLimit);
  if (mapping.status != 0) {
    check(mapping.status >= 400 && mapping.status < 500);
    check(!mapping.reason.empty());
    check(mapping.messages.empty());
    return 0;
  }
  check(!mapping.messages.empty());
  check(mapping.messages.size() <= kLimit);
  for (const auto& message : mapping.messages) check(!message->to.empty());
  return 0;
}
