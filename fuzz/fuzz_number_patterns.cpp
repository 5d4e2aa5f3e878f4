// A pattern list and a number from arbitrary text: the first line is the list, the rest the
// number. Any input gives a yes or a no, never a crash or a run-away match.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/util/Utf.h"
#include "gsm/NumberPatterns.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::size_t end = text.find('\n');
  const std::u16string list = parlane::fromUtf8(text.substr(0, end));
  const std::u16string number =
      end == std::string_view::npos ? std::u16string() : parlane::fromUtf8(text.substr(end + 1));
  const parlane::NumberPatterns patterns = parlane::NumberPatterns::parse(list);
  (void)patterns.match(number);
  (void)parlane::numberAllowed(number, patterns, patterns);
  return 0;
}
