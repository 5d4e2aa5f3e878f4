#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "gsm/PduDecoderOptions.h"
#include "gsm/ReceivedPdu.h"

namespace parlane {

// An SMS-DELIVER as read from the modem (service centre field first). A status report is handed
// to decodeStatusReportPdu; an SMS-SUBMIT read back from memory, a truncated PDU or one whose
// lengths point past its end gives nothing. Never returns a partial result.
std::optional<ReceivedPdu> decodeDeliverPdu(std::span<const std::uint8_t> octets,
                                            const PduDecoderOptions& options = {});

// An SMS-STATUS-REPORT, with or without the service centre field as the options say.
std::optional<ReceivedPdu> decodeStatusReportPdu(std::span<const std::uint8_t> octets,
                                                 const PduDecoderOptions& options = {});

}  // namespace parlane
