#pragma once

#include <string>

namespace parlane {

// What the encoder needs of the configuration. The caller fills it from the settings when it
// encodes a message, so a changed setting counts from the next message on.
struct PduEncoderOptions {
  // "sms.length_correction": octets taken off the 140 a text unit may carry.
  int lengthCorrection = 0;
  // "smsc_addr_in_pdu" 1: the service centre address below goes in front of every unit.
  bool smscInPdu = false;
  // "smsc.address".
  std::u16string smscAddress;
};

}  // namespace parlane
