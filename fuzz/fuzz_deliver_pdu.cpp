// decodeDeliverPdu on arbitrary octets: never reads past the end, a decoded part always lies
// inside its message, and the tables a header names are always ones that exist.

#include <cstddef>
#include <cstdint>
#include <span>

#include "gsm/NationalTables.h"
#include "gsm/PduDecoder.h"

namespace {

// The first octet picks whether status reports come without their service centre field.
parlane::PduDecoderOptions optionsFor(std::uint8_t selector) {
  parlane::PduDecoderOptions options;
  options.statusReportWithoutSmsc = (selector & 1) != 0;
  return options;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::span<const std::uint8_t> pdu(data + 1, size - 1);
  const auto decoded = parlane::decodeDeliverPdu(pdu, optionsFor(data[0]));
  if (decoded && decoded->kind == parlane::ReceivedPdu::kDeliver) {
    if (decoded->total < 1 || decoded->index < 0 || decoded->index >= decoded->total) {
      __builtin_trap();
    }
    if (decoded->text.size() > pdu.size() * 8 / 7 + 1) __builtin_trap();
    if (parlane::lockingShiftTable(decoded->lockingLanguage) == nullptr ||
        parlane::singleShiftTable(decoded->shiftLanguage) == nullptr) {
      __builtin_trap();
    }
  }
  return 0;
}
