// parseTextTimeStamp on arbitrary text, narrow and wide.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/util/Utf.h"
#include "gsm/TimeStamp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)parlane::parseTextTimeStamp(text);
  (void)parlane::parseTextTimeStamp(parlane::fromUtf8(text));
  return 0;
}
