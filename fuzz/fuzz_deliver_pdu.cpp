// DecodeDeliverPdu on arbitrary octets: never reads past the end, and a decoded part always lies
// inside its message.

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/settings/SettingsStore.h"
#include "gsm/PduDecoder.h"

namespace {

// The first octet picks whether status reports come without their service centre field.
const parlane::SettingsStore& SettingsFor(std::uint8_t selector) {
  static parlane::SettingsStore withField;
  static parlane::SettingsStore* withoutField = [] {
    auto* settings = new parlane::SettingsStore;
    settings->setInt("cds_no_smsc_addr", 1);
    return settings;
  }();
  return (selector & 1) ? *withoutField : withField;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::span<const std::uint8_t> pdu(data + 1, size - 1);
  const auto decoded = parlane::DecodeDeliverPdu(pdu, SettingsFor(data[0]));
  if (decoded && decoded->kind == parlane::ReceivedPdu::kDeliver) {
    if (decoded->total < 1 || decoded->index < 0 || decoded->index >= decoded->total) {
      __builtin_trap();
    }
    if (decoded->text.size() > pdu.size() * 8 / 7 + 1) __builtin_trap();
  }
  return 0;
}
