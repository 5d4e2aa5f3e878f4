#pragma once

namespace parlane {

// What the decoders need of the configuration, filled by the caller when it decodes.
struct PduDecoderOptions {
  // "cds_no_smsc_addr" other than 0: the modem leaves out the service centre field of a status
  // report, so the PDU starts with its first octet.
  bool statusReportWithoutSmsc = false;
};

}  // namespace parlane
