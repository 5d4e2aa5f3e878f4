// decodeUssdText: the first octet picks the mode, the second the coding scheme, the rest is the
// reply text as UTF-16 units.

#include <cstddef>
#include <cstdint>
#include <string>

#include "gsm/UssdText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int mode = data[0] % 7;
  const int dcs = (data[1] & 1) ? parlane::kUssdDcsUcs2 : data[1];
  std::u16string text;
  for (std::size_t i = 2; i + 1 < size; i += 2) {
    text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  }
  const auto decoded = parlane::decodeUssdText(text, dcs, mode);
  if (decoded.size() > text.size()) __builtin_trap();
  return 0;
}
