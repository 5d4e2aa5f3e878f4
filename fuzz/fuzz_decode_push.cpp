// Any octets as the user data of a port-addressed message go through decodePush. The same octets
// also become a URL and a text (split at the first 0xFF) for buildPushBody, whose body must decode
// back to them.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/util/Utf.h"
#include "gsm/PushDecoder.h"
#include "gsm/PushEncoder.h"

namespace {

std::u16string withoutNul(std::u16string text) {
  std::erase(text, u'\0');
  return text;
}

bool startsWithHttp(std::u16string_view url) {
  if (url.size() < 7) return false;
  std::u16string head(url.substr(0, 7));
  for (char16_t& c : head) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  }
  return head == u"http://";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> octets(data, size);
  (void)parlane::decodePush(octets);

  const std::string_view all(reinterpret_cast<const char*>(data), size);
  const std::size_t split = std::min(all.find('\xFF'), all.size());
  const std::u16string url = withoutNul(parlane::fromUtf8(all.substr(0, split)));
  const std::u16string text = withoutNul(
      parlane::fromUtf8(split < all.size() ? all.substr(split + 1) : std::string_view()));
  const auto body = parlane::PushEncoder::buildPushBody(url, text, size & 0xFF);
  const auto decoded = parlane::decodePush(body);
  if (!decoded) __builtin_trap();
  const std::u16string expectedUrl = startsWithHttp(url) ? u"http://" + url.substr(7) : url;
  if (decoded->url != expectedUrl || decoded->text != text) __builtin_trap();
  return 0;
}
