#include "engine/UssdCommand.h"

#include "engine/CommandText.h"
#include "gsm/HexOctets.h"
#include "gsm/PduEncoder.h"
#include "message/USSDRequest.h"

namespace parlane {

namespace {

constexpr int kPackedDecodeMode = 5;

}  // namespace

std::string ussdCommandLine(const USSDRequest& request, int decodeMode) {
  std::string octets;
  for (char16_t unit : request.content) octets.push_back(static_cast<char>(unit & 0xFF));
  std::string value;
  if (decodeMode == kPackedDecodeMode) {
    const Octets packed = PduEncoder::packSeptets(Octets(octets.begin(), octets.end()));
    value = octetsToHex(packed);
  } else {
    value = quotableArgument(octets);
  }
  const char presentation = (request.flags & kUssdNoPresentation) != 0 ? '0' : '1';
  return std::string("AT+CUSD=") + presentation + ",\"" + value + "\",15\r\n";
}

}  // namespace parlane
