#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "gsm/NationalTables.h"
#include "gsm/PduEncoderOptions.h"
#include "gsm/SmsCoding.h"

namespace parlane {

class GenericMessage;
class SMSMessage;

using Octets = std::vector<std::uint8_t>;

// Builds the SMS-SUBMIT transfer units (raw octets, one per AT+CMGS) of an outgoing message:
// alphabet, concatenation, destination, validity and the optional service centre field, as the
// options say.
class PduEncoder {
 public:
  // Parts of one concatenated message: its total and sequence numbers are single octets.
  static constexpr std::size_t kMaxParts = 255;

  explicit PduEncoder(PduEncoderOptions options) : options_(std::move(options)) {}

  // How a text goes out: its alphabet and, for 7-bit, the tables and the septets.
  struct TextPlan {
    SmsCoding coding = SmsCoding::Gsm7;
    GsmLanguages languages;
    Octets septets;
  };
  // A text of units below 0x80 goes out in the default alphabet as it always did. Any other text,
  // when national languages are allowed, is written with the allowed locking shift table, single
  // shift table or both (or the default alphabet alone) that give the fewest parts; UCS2 when no
  // such choice holds every character.
  TextPlan planText(std::u16string_view text) const;
  // Where each part of a 7-bit text ends, its header holding `languageElements` national language
  // elements besides the concatenation element: one entry when the text fits a single unit.
  std::vector<std::size_t> septetPieces(const Octets& septets, std::size_t languageElements) const;

  // Kind 1 (SMS) as text, kind 2 (push) as WAP Push; any other kind gives no unit. A message that
  // needs more than kMaxParts parts gives no unit either, and `refusal` says why: it is never sent
  // cut short.
  std::vector<Octets> encodeOutgoing(const GenericMessage& message,
                                     std::string* refusal = nullptr) const;
  // One unit, or several concatenated parts when the text does not fit; none (with the reason in
  // `refusal`) when it needs more than kMaxParts.
  std::vector<Octets> encodeTextSubmit(const SMSMessage& message,
                                       std::string* refusal = nullptr) const;
  // The reason given for a message of `parts` parts.
  static std::string tooManyPartsText(std::size_t parts);
  // Exactly one unit of 8-bit data: the low octet of each UTF-16 unit, no header.
  std::vector<Octets> encodeBinarySubmit(const SMSMessage& message) const;

  // One unit of the 8-bit user data the content holds as hexadecimal digits (kBinary), its
  // header marked with kUserDataHeader; none (with the reason) when the digits are no octets or
  // more than one unit carries.
  std::vector<Octets> encodeDataSubmit(const SMSMessage& message,
                                       std::string* refusal = nullptr) const;

  // SMSC field through TP-VP. `binary` forces TP-DCS 0xF5; `header` marks a user data header.
  // `messageClass` 1 to 3 sets that class (flash is class 0).
  Octets buildSubmitHeader(std::string_view digits, std::int32_t ton, SmsCoding coding,
                           std::int64_t validitySeconds, bool binary, bool header, bool flash,
                           bool report, int messageClass = 0) const;
  // Octets of the SMSC field that buildSubmitHeader puts in front (AT+CMGS counts without them).
  std::size_t smscFieldLength() const;
  // User data octets a text unit may carry: 140 less the length correction, made even. A
  // correction that is negative or leaves fewer than 8 octets is ignored.
  std::size_t maxUserDataOctets() const;

  static SmsCoding detectCoding(std::u16string_view text);
  // The message class 1 to 3 its flags ask for; 0 for none.
  static int messageClassOf(std::int32_t flags);
  // TP-VP, relative format: the smallest code whose period covers `seconds` (255 above 63 weeks).
  static std::uint8_t encodeRelativeValidity(std::int64_t seconds);
  static Octets packSeptets(const Octets& septets);
  // One fill bit first, so the text starts on a septet boundary after a six-octet header.
  static Octets packSeptetsAfterHeader(const Octets& septets);
  // The septets packed from bit `fillBits` of the first octet on: the fill that brings a text to
  // the septet boundary after a header.
  static Octets packSeptetsFrom(const Octets& septets, unsigned fillBits);
  static Octets encodeUcs2(std::u16string_view text);
  static Octets encodeAddressField(std::string_view digits, std::int32_t ton);
  // 00 03 ref total seq.
  static Octets buildConcatElement(std::uint8_t reference, std::uint8_t total, std::uint8_t seq);
  // Text of units below 0x80 to septets; the bracket family becomes escape pairs.
  static Octets mapToGsmDefault(std::u16string_view text);

  // The pseudo-random concatenation reference, one per message.
  static std::uint8_t nextReference();

  // Validity of an outgoing message in seconds: expiry - created (a negative one is sent as the
  // shortest period).
  static std::int64_t validitySecondsOf(const SMSMessage& message);
  // The destination normalized with its TON and narrowed to its low octets.
  static std::string destinationDigitsOf(const SMSMessage& message);

  const PduEncoderOptions& options() const { return options_; }

 private:
  Octets smscField() const;

  PduEncoderOptions options_;
};

}  // namespace parlane
