#include "gsm/SubmitPduText.h"

#include <algorithm>

#include "gsm/CodingScheme.h"
#include "gsm/GsmAlphabet.h"
#include "gsm/NationalAlphabet.h"
#include "gsm/UserDataHeader.h"

namespace parlane {

std::optional<std::u16string> submitPduText(std::span<const std::uint8_t> octets) {
  std::size_t pos = 0;
  auto need = [&](std::size_t count) { return pos + count <= octets.size(); };
  if (!need(1)) return std::nullopt;
  pos += std::size_t{octets[0]} + 1;  // service centre field
  if (!need(2)) return std::nullopt;
  const std::uint8_t first = octets[pos];
  if ((first & 0x03) != 0x01) return std::nullopt;  // not an SMS-SUBMIT
  const bool hasHeader = (first & 0x40) != 0;
  const int validityFormat = (first >> 3) & 0x03;
  pos += 2;  // first octet, message reference
  if (!need(1)) return std::nullopt;
  pos += 2 + (std::size_t{octets[pos]} + 1) / 2;  // destination: length, type, digits
  if (!need(2)) return std::nullopt;
  const SmsCoding coding = codingOf(octets[pos + 1]);
  pos += 2;  // TP-PID, TP-DCS
  pos += validityFormat == 2 ? 1 : validityFormat == 0 ? 0 : 7;
  if (!need(1)) return std::nullopt;
  const std::size_t userDataLength = octets[pos++];
  const std::span<const std::uint8_t> data = octets.subspan(pos);

  std::size_t headerOctets = 0;
  if (hasHeader) {
    if (data.empty()) return std::nullopt;
    headerOctets = std::size_t{data[0]} + 1;
    if (headerOctets > data.size()) return std::nullopt;
  }
  std::u16string text;
  if (coding == SmsCoding::Gsm7) {
    const std::size_t headerSeptets = (headerOctets * 8 + 6) / 7;
    if (headerSeptets > userDataLength) return text;
    const unsigned fill = static_cast<unsigned>((7 - (headerOctets * 8) % 7) % 7);
    const GsmLanguages languages =
        headerOctets > 0 ? languagesOfHeader(data.subspan(1, headerOctets - 1)) : GsmLanguages{};
    return septetsToText(
        unpackSeptets(data.subspan(headerOctets), fill, userDataLength - headerSeptets), languages);
  }
  const std::size_t payload = userDataLength > headerOctets ? userDataLength - headerOctets : 0;
  const std::span<const std::uint8_t> body = data.subspan(headerOctets);
  if (coding == SmsCoding::Ucs2) {
    const std::size_t units = std::min(payload, body.size()) / 2;
    for (std::size_t i = 0; i < units; ++i) {
      text.push_back(static_cast<char16_t>(body[2 * i] << 8 | body[2 * i + 1]));
    }
    return text;
  }
  const std::size_t count = std::min(payload, body.size());
  text.assign(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(count));
  return text;
}

}  // namespace parlane
