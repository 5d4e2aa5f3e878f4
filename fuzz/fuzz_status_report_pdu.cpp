// decodeStatusReportPdu on arbitrary octets, with and without the service centre field.

#include <cstddef>
#include <cstdint>
#include <span>

#include "gsm/PduDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> pdu(data, size);
  for (const bool withoutSmsc : {false, true}) {
    parlane::PduDecoderOptions options;
    options.statusReportWithoutSmsc = withoutSmsc;
    const auto decoded = parlane::decodeStatusReportPdu(pdu, options);
    if (decoded && (decoded->kind != parlane::ReceivedPdu::kStatusReport || decoded->status < 0 ||
                    decoded->status > 255)) {
      __builtin_trap();
    }
  }
  return 0;
}
