#pragma once

#include <string>
#include <vector>

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
  // "sms.national_languages": language ids whose national tables a text that the default alphabet
  // can't carry may be written with; empty sends such a text as UCS2.
  std::vector<int> nationalLanguages;
};

}  // namespace parlane
