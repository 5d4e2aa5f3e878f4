#include "DecodeCommand.h"

#include <ctime>
#include <istream>
#include <optional>
#include <ostream>
#include <string_view>

#include "CodecSettings.h"
#include "JsonText.h"
#include "gsm/HexOctets.h"
#include "gsm/PduDecoder.h"

namespace parlane {

namespace {

std::string isoLocalTime(std::time_t when) {
  std::tm fields{};
  if (!localtime_r(&when, &fields)) return "null";
  char text[40];
  if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &fields) == 0) return "null";
  return jsonString(std::string_view(text));
}

std::string toJson(const ReceivedPdu& pdu) {
  std::string json = "{";
  json += "\"kind\": " + std::to_string(pdu.kind);
  json += ", \"party\": " + jsonString(pdu.party);
  json += ", \"time\": " + isoLocalTime(pdu.time);
  json += ", \"header\": " + jsonString(octetsToHex(pdu.header));
  json += ", \"coding\": " + std::to_string(static_cast<int>(pdu.coding));
  json += ", \"reference\": " + std::to_string(pdu.reference);
  json += ", \"total\": " + std::to_string(pdu.total);
  json += ", \"index\": " + std::to_string(pdu.index);
  json += ", \"text\": " + jsonString(pdu.text);
  json += ", \"port_addressed\": " + std::to_string(pdu.portAddressed);
  json += ", \"locking_shift\": " + std::to_string(pdu.lockingLanguage);
  json += ", \"single_shift\": " + std::to_string(pdu.shiftLanguage);
  json += ", \"message_reference\": " + std::to_string(pdu.messageReference);
  json += ", \"discharge_time\": ";
  json += pdu.kind == ReceivedPdu::kStatusReport ? isoLocalTime(pdu.dischargeTime) : "null";
  json += ", \"status\": " + std::to_string(pdu.status);
  json += "}";
  return json;
}

std::string_view trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// One line of output for one PDU; false when it could not be decoded.
bool decodeOne(std::string_view hex, std::ostream& output, const PduDecoderOptions& options) {
  const auto octets = hexToOctets(hex);
  if (!octets) {
    output << "{\"error\": \"not hexadecimal: an odd number of digits or a character that is not a "
              "digit\"}\n";
    return false;
  }
  // A modem that leaves out the service centre field of status reports does so only there; a
  // PDU that then starts like a status report is tried as one first.
  std::optional<ReceivedPdu> pdu;
  if (options.statusReportWithoutSmsc && !octets->empty() && ((*octets)[0] & 0x03) == 0x02) {
    pdu = decodeStatusReportPdu(*octets, options);
  }
  if (!pdu) pdu = decodeDeliverPdu(*octets, options);
  if (!pdu) {
    output << "{\"error\": \"not a valid SMS-DELIVER or SMS-STATUS-REPORT PDU\"}\n";
    return false;
  }
  output << toJson(*pdu) << '\n';
  return true;
}

}  // namespace

int runDecode(const std::vector<std::string>& pdus, std::istream& input, std::ostream& output,
              const SettingsStore& settings) {
  const PduDecoderOptions options = decoderOptionsFrom(settings);
  bool allDecoded = true;
  if (!pdus.empty()) {
    for (const auto& pdu : pdus) allDecoded = decodeOne(trim(pdu), output, options) && allDecoded;
  } else {
    std::string line;
    while (std::getline(input, line)) {
      const auto hex = trim(line);
      if (hex.empty()) continue;
      allDecoded = decodeOne(hex, output, options) && allDecoded;
    }
  }
  output.flush();
  return allDecoded ? 0 : 1;
}

}  // namespace parlane
