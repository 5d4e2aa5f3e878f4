// Expands arbitrary URL patterns with arbitrary values, as a callback URL from the settings and
// the fields of any message. No crash; every value goes in URL-encoded, so a pattern without a
// "%" comes out as it is and no byte of a value reaches the URL raw.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "service/UrlEscapes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace parlane;
  if (size == 0) return 0;
  const auto set = (data[0] & 1) != 0 ? UrlEscapeSet::Incoming : UrlEscapeSet::DeliveryReport;
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  // The pattern, then the values, separated by NUL bytes.
  const std::size_t end = rest.find('\0');
  const std::string_view pattern = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  UrlEscapeValues values;
  std::string* fields[] = {&values.reportValue, &values.receiver, &values.sender,
                           &values.id,          &values.answer,   &values.reference,
                           &values.text,        &values.instance};
  for (std::string* field : fields) {
    const std::size_t cut = rest.find('\0');
    *field = std::string(rest.substr(0, cut));
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
  }
  values.time = static_cast<long long>(size) * 1'000'003 - 500'000'000;
  const std::string url = expandUrlEscapes(pattern, values, set);
  if (pattern.find('%') == std::string_view::npos) check(url == pattern);
  // Raw spaces and control bytes come only from the pattern.
  std::size_t unsafe = 0;
  for (const char c : pattern) unsafe += static_cast<unsigned char>(c) <= ' ';
  std::size_t unsafeOut = 0;
  for (const char c : url) unsafeOut += static_cast<unsigned char>(c) <= ' ';
  check(unsafeOut == unsafe);
  return 0;
}
