#include "gsm/PushEncoder.h"

#include "core/util/Utf.h"
#include "message/MessageFlags.h"
#include "message/PushMessage.h"

namespace parlane {

namespace {

constexpr std::size_t kUserDataOctets = 140;
constexpr std::size_t kPortHeaderOctets = 7;     // UDHL + port element
constexpr std::size_t kConcatHeaderOctets = 12;  // UDHL + port element + concatenation element

void append(Octets& to, const Octets& from) { to.insert(to.end(), from.begin(), from.end()); }

// An inline string ends at its first 00, so a NUL inside the text would cut it short.
void appendInlineString(Octets& body, std::u16string_view text) {
  body.push_back(0x03);
  for (char c : toUtf8(text)) {
    if (c != '\0') body.push_back(static_cast<std::uint8_t>(c));
  }
  body.push_back(0x00);
}

bool startsWithHttpIgnoringCase(std::u16string_view url) {
  constexpr std::u16string_view kPrefix = u"http://";
  if (url.size() < kPrefix.size()) return false;
  for (std::size_t i = 0; i < kPrefix.size(); ++i) {
    char16_t c = url[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != kPrefix[i]) return false;
  }
  return true;
}

}  // namespace

std::vector<Octets> PushEncoder::encodePushSubmit(const PushMessage& message,
                                                  std::string* refusal) const {
  const bool report = (message.flags & messageFlags::kReport) != 0;
  const Octets header = pdu_.buildSubmitHeader(
      PduEncoder::destinationDigitsOf(message), message.dstton, SmsCoding::Gsm7,
      PduEncoder::validitySecondsOf(message), true, true, false, report);
  std::size_t maxOctets =
      header.size() + 2 < kUserDataOctets ? kUserDataOctets - header.size() - 2 : 0;
  maxOctets &= ~static_cast<std::size_t>(1);
  const Octets body = buildPushBody(message.url, message.content,
                                    static_cast<std::uint8_t>(message.uniqueid & 0xFF));
  const Octets port = buildPortElement();

  if (6 + body.size() <= maxOctets) {
    Octets unit = header;
    unit.push_back(static_cast<std::uint8_t>(body.size() + kPortHeaderOctets));
    unit.push_back(0x06);
    append(unit, port);
    append(unit, body);
    return {unit};
  }

  // A very long service centre address leaves no room at all; send what one octet per part allows
  // rather than looping forever.
  const std::size_t pieceOctets = maxOctets > 12 ? maxOctets - 11 : 1;
  const std::size_t total = (body.size() + pieceOctets - 1) / pieceOctets;
  // Seq and total are single octets; a body cut short would be reported as sent.
  if (total > PduEncoder::kMaxParts) {
    if (refusal != nullptr) *refusal = PduEncoder::tooManyPartsText(total);
    return {};
  }
  const std::uint8_t reference = PduEncoder::nextReference();
  std::vector<Octets> units;
  units.reserve(total);
  for (std::size_t i = 0; i < total; ++i) {
    const std::size_t start = i * pieceOctets;
    const std::size_t end = std::min(body.size(), start + pieceOctets);
    Octets unit = header;
    unit.push_back(static_cast<std::uint8_t>(end - start + kConcatHeaderOctets));
    unit.push_back(0x0B);
    append(unit, port);
    append(unit, PduEncoder::buildConcatElement(reference, static_cast<std::uint8_t>(total),
                                                static_cast<std::uint8_t>(i + 1)));
    unit.insert(unit.end(), body.begin() + static_cast<std::ptrdiff_t>(start),
                body.begin() + static_cast<std::ptrdiff_t>(end));
    units.push_back(std::move(unit));
  }
  return units;
}

Octets PushEncoder::buildPushBody(std::u16string_view url, std::u16string_view text,
                                  std::uint8_t tid) {
  Octets body{tid,
              0x06,   // WSP Push
              0x01,   // header length
              0xAE,   // application/vnd.wap.sic
              0x02,   // WBXML 1.2
              0x05,   // SI 1.0
              0x6A,   // UTF-8
              0x00,   // no string table
              0x45,   // <si>
              0xC6};  // <indication href...>
  if (startsWithHttpIgnoringCase(url)) {
    body.push_back(0x0C);
    url.remove_prefix(7);
  } else {
    body.push_back(0x0B);
  }
  appendInlineString(body, url);
  body.push_back(0x01);  // end of attributes
  appendInlineString(body, text);
  body.push_back(0x01);  // </indication>
  body.push_back(0x01);  // </si>
  return body;
}

Octets PushEncoder::buildPortElement() { return {0x05, 0x04, 0x0B, 0x84, 0x23, 0xF0}; }

}  // namespace parlane
