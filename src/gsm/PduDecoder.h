#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "gsm/ReceivedPdu.h"

namespace parlane {

class SettingsStore;

// An SMS-DELIVER as read from the modem (service centre field first). A status report is handed
// to DecodeStatusReportPdu; an SMS-SUBMIT read back from memory, a truncated PDU or one whose
// lengths point past its end gives nothing. Never returns a partial result.
std::optional<ReceivedPdu> DecodeDeliverPdu(std::span<const std::uint8_t> octets,
                                            const SettingsStore& settings);

// An SMS-STATUS-REPORT. "cds_no_smsc_addr" other than 0 says the modem leaves out the service
// centre field, so the PDU starts with its first octet.
std::optional<ReceivedPdu> DecodeStatusReportPdu(std::span<const std::uint8_t> octets,
                                                 const SettingsStore& settings);

}  // namespace parlane
