#include "gsm/Charsets.h"

#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "core/util/Utf.h"
#include "gsm/CodePageTable.h"

namespace parlane {

namespace {

// Wide strings are handed to iconv in the machine's own byte order.
constexpr const char* kUtf16Name =
    std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
  ~IconvHandle() {
    if (ok()) iconv_close(handle_);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;

  bool ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return handle_; }

 private:
  iconv_t handle_;
};

// Converts all of `input`. Where iconv meets something it cannot convert, `replacement` goes out
// instead and `skipBadInput` tells how many input octets to step over, as the Windows
// converters substitute a default character rather than fail. With `resetShiftState`, a stateful
// output (ISO-2022-JP) first returns to its initial, single-byte state, so that the replacement
// octet is not read as half of a two-byte character.
template <typename SkipFn>
bool convertAll(iconv_t cd, const char* input, std::size_t inputSize, std::string_view replacement,
                SkipFn skipBadInput, bool resetShiftState, std::string& output) {
  std::vector<char> buffer(4 * inputSize + 16);
  char* in = const_cast<char*>(input);
  std::size_t inLeft = inputSize;
  while (true) {
    char* out = buffer.data();
    std::size_t outLeft = buffer.size();
    const std::size_t result = inLeft == 0 ? iconv(cd, nullptr, nullptr, &out, &outLeft)
                                           : iconv(cd, &in, &inLeft, &out, &outLeft);
    output.append(buffer.data(), buffer.size() - outLeft);
    if (result != static_cast<std::size_t>(-1)) {
      if (inLeft == 0) {
        // Flush any shift state (stateful encodings such as ISO-2022-JP).
        out = buffer.data();
        outLeft = buffer.size();
        iconv(cd, nullptr, nullptr, &out, &outLeft);
        output.append(buffer.data(), buffer.size() - outLeft);
        return true;
      }
      continue;
    }
    if (errno == E2BIG) continue;
    if (errno != EILSEQ && errno != EINVAL) return false;
    const std::size_t skip = std::min(inLeft, skipBadInput(in, inLeft));
    if (skip == 0) return false;
    in += skip;
    inLeft -= skip;
    if (resetShiftState) {
      char* out = buffer.data();
      std::size_t outLeft = buffer.size();
      iconv(cd, nullptr, nullptr, &out, &outLeft);
      output.append(buffer.data(), buffer.size() - outLeft);
    }
    output.append(replacement);
  }
}

std::optional<std::string> wideToCodePage(std::u16string_view text, const char* iconvName) {
  IconvHandle cd(iconvName, kUtf16Name);
  if (!cd.ok()) return std::nullopt;
  std::string output;
  const auto skipUnit = [](const char* at, std::size_t left) -> std::size_t {
    if (left < 2) return left;
    char16_t unit;
    std::memcpy(&unit, at, sizeof unit);
    if (isHighSurrogate(unit) && left >= 4) {
      char16_t next;
      std::memcpy(&next, at + 2, sizeof next);
      if (isLowSurrogate(next)) return 4;
    }
    return 2;
  };
  if (!convertAll(cd.get(), reinterpret_cast<const char*>(text.data()), text.size() * 2, "?",
                  skipUnit, true, output)) {
    return std::nullopt;
  }
  return output;
}

}  // namespace

std::optional<std::string> wideToNarrow(std::u16string_view text, std::uint32_t codePage) {
  if (codePage == kCodePageOctets) {
    std::string octets;
    octets.reserve(text.size());
    for (char16_t unit : text) octets.push_back(static_cast<char>(unit & 0xFF));
    return octets;
  }
  if (codePage == kCodePageUtf8) return toUtf8(text);
  if (const char* name = iconvNameForCodePage(codePage)) {
    if (auto converted = wideToCodePage(text, name)) return converted;
  }
  // The system's default code page, which is UTF-8 here.
  return toUtf8(text);
}

std::optional<std::u16string> narrowToWide(std::string_view octets, std::uint32_t codePage) {
  if (codePage == kCodePageOctets) {
    std::u16string text;
    text.reserve(octets.size());
    for (char octet : octets) text.push_back(static_cast<unsigned char>(octet));
    return text;
  }
  if (codePage == kCodePageUtf8) return fromUtf8(octets);
  const char* name = iconvNameForCodePage(codePage);
  if (name == nullptr) return std::nullopt;
  IconvHandle cd(kUtf16Name, name);
  if (!cd.ok()) return std::nullopt;
  std::string converted;
  const char16_t replacement = 0xFFFD;
  const std::string_view replacementBytes(reinterpret_cast<const char*>(&replacement),
                                          sizeof replacement);
  const auto skipOctet = [](const char*, std::size_t) -> std::size_t { return 1; };
  // The input's own escapes decide its state; a bad octet doesn't change it.
  if (!convertAll(cd.get(), octets.data(), octets.size(), replacementBytes, skipOctet, false,
                  converted)) {
    return std::nullopt;
  }
  std::u16string text(converted.size() / 2, u'\0');
  std::memcpy(text.data(), converted.data(), text.size() * 2);
  return text;
}

std::u16string resolveIndirectString(std::u16string_view text) {
  if (!text.empty() && text.front() == u'@') return {};
  return std::u16string(text);
}

}  // namespace parlane
