// UTF-8 <-> UTF-16 conversion and printf-style filling on arbitrary bytes: no crash, no sanitizer
// report, and conversions that round trip.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "core/util/StringTable.h"
#include "core/util/Utf.h"

namespace {

bool isHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// `units` with every lone surrogate replaced by U+FFFD.
std::u16string withoutLoneSurrogates(const std::u16string& units) {
  std::u16string out;
  for (size_t i = 0; i < units.size(); ++i) {
    if (isHigh(units[i]) && i + 1 < units.size() && isLow(units[i + 1])) {
      out.push_back(units[i]);
      out.push_back(units[++i]);
    } else if (isHigh(units[i]) || isLow(units[i])) {
      out.push_back(0xFFFD);
    } else {
      out.push_back(units[i]);
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace parlane;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // Bytes read as UTF-8: the result is clean UTF-16 and survives a round trip; input without
  // replacement characters was valid and comes back byte for byte.
  const std::u16string decoded = fromUtf8(bytes);
  check(withoutLoneSurrogates(decoded) == decoded);
  const std::string encoded = toUtf8(decoded);
  check(fromUtf8(encoded) == decoded);
  if (decoded.find(u'\uFFFD') == std::u16string::npos) check(encoded == bytes);

  // Bytes read as UTF-16 code units: only lone surrogates change.
  std::u16string units;
  for (size_t i = 0; i + 1 < size; i += 2) {
    units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  check(fromUtf8(toUtf8(units)) == withoutLoneSurrogates(units));

  // Both readings as a format, with too few, enough and wrong kinds of arguments.
  for (const std::u16string& format : {decoded, units}) {
    formatText(format, {});
    formatText(format, {42, u"text", -7});
    const std::u16string filled =
        formatText(format, {u"\U0001F600", -2147483647 - 1, u"", 65, u"12abc", 0, u"x", 1});
    check(filled.size() <= format.size() * 3000 + 1);
  }
  if (size >= 2) formatString(40000 + data[0] % 300, {u"a", 1});
  return 0;
}
