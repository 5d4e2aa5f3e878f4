#include "core/util/Utf8Text.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "core/util/Utf.h"

namespace parlane {

bool isValidUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    // Eight ASCII bytes at a time: most of a folder is ASCII.
    if (end - p >= 8) {
      std::uint64_t chunk;
      std::memcpy(&chunk, p, 8);
      const std::uint64_t high = chunk & 0x8080808080808080ull;
      if (high == 0) {
        p += 8;
        continue;
      }
      // Straight to the first byte that isn't ASCII.
      if constexpr (std::endian::native == std::endian::little) p += std::countr_zero(high) / 8;
    }
    const unsigned char c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    int extra;
    unsigned char low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      if (c == 0xE0) low = 0xA0;
      if (c == 0xED) high = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      if (c == 0xF0) low = 0x90;
      if (c == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (end - p <= extra) return false;
    if (p[1] < low || p[1] > high) return false;
    for (int i = 2; i <= extra; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
    }
    p += extra + 1;
  }
  return true;
}

void appendUtf16(std::string_view text, std::u16string& out) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const unsigned char c = *p;
    char32_t cp;
    if (c < 0x80) {
      out.push_back(c);
      ++p;
      continue;
    }
    if (c < 0xE0 && end - p >= 2) {
      cp = (char32_t(c & 0x1F) << 6) | (p[1] & 0x3F);
      p += 2;
    } else if (c < 0xF0 && end - p >= 3) {
      cp = (char32_t(c & 0x0F) << 12) | (char32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
      p += 3;
    } else if (end - p >= 4) {
      cp = (char32_t(c & 0x07) << 18) | (char32_t(p[1] & 0x3F) << 12) |
           (char32_t(p[2] & 0x3F) << 6) | (p[3] & 0x3F);
      p += 4;
    } else {
      out.push_back(u'\uFFFD');  // cut short: only for text that skipped validation
      break;
    }
    appendCodePoint(out, cp);
  }
}

bool utf16Less(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (x == y) continue;
    // Both bytes sit at the same place of characters of equal length, or both are lead bytes.
    // UTF-16 puts characters past U+FFFF (lead F0..F4, surrogates D800..DFFF) before
    // U+E000..U+FFFF (lead EE, EF); everywhere else byte order is code unit order.
    const bool xHigh = x >= 0xEE && x <= 0xEF;
    const bool yHigh = y >= 0xEE && y <= 0xEF;
    const bool xSupp = x >= 0xF0;
    const bool ySupp = y >= 0xF0;
    if (xHigh && ySupp) return false;
    if (xSupp && yHigh) return true;
    return x < y;
  }
  return a.size() < b.size();
}

}  // namespace parlane
