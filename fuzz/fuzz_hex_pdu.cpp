// A modem line as the receiver gets it: hexToOctets, then the decoder. Valid hexadecimal must
// come back unchanged (in uppercase) through octetsToHex.

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/util/Utf.h"
#include "gsm/HexOctets.h"
#include "gsm/PduDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const parlane::PduDecoderOptions options;
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const auto octets = parlane::hexToOctets(line);
  const auto wide = parlane::hexToOctets(parlane::fromUtf8(line));
  if (octets) {
    if (!wide || *wide != *octets) __builtin_trap();
    std::string upper(line);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (parlane::octetsToHex(*octets) != upper) __builtin_trap();
    (void)parlane::decodeDeliverPdu(*octets, options);
    (void)parlane::decodeStatusReportPdu(*octets, options);
  }
  return 0;
}
