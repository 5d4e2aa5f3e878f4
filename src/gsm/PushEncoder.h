#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "gsm/PduEncoder.h"

namespace parlane {

class PushMessage;

// SMS-SUBMIT units carrying a WAP Push Service Indication to port 2948.
class PushEncoder {
 public:
  explicit PushEncoder(const PduEncoder& pdu) : pdu_(pdu) {}

  // No unit, with the reason in `refusal`, when the body needs more than PduEncoder::kMaxParts.
  std::vector<Octets> encodePushSubmit(const PushMessage& message,
                                       std::string* refusal = nullptr) const;

  // WSP push header + WBXML SI with href and text; tid is the WSP transaction id.
  static Octets buildPushBody(std::u16string_view url, std::u16string_view text, std::uint8_t tid);
  // 05 04 0B 84 23 F0: 16-bit ports, destination 2948, origin 9200.
  static Octets buildPortElement();

 private:
  const PduEncoder& pdu_;
};

}  // namespace parlane
