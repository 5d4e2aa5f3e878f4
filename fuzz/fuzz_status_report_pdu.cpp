// DecodeStatusReportPdu on arbitrary octets, with and without the service centre field.

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/settings/SettingsStore.h"
#include "gsm/PduDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static parlane::SettingsStore withField;
  static parlane::SettingsStore* withoutField = [] {
    auto* settings = new parlane::SettingsStore;
    settings->setInt("cds_no_smsc_addr", 1);
    return settings;
  }();
  const std::span<const std::uint8_t> pdu(data, size);
  for (const parlane::SettingsStore* settings : {&withField, withoutField}) {
    const auto decoded = parlane::DecodeStatusReportPdu(pdu, *settings);
    if (decoded && (decoded->kind != parlane::ReceivedPdu::kStatusReport || decoded->status < 0 ||
                    decoded->status > 255)) {
      __builtin_trap();
    }
  }
  return 0;
}
