#include "gsm/PduAddressValue.h"

#include "gsm/GsmAlphabet.h"

namespace parlane {

namespace {

bool isAlphanumeric(std::uint8_t typeOfAddress) {
  // Type of number lives in bits 4 to 6; 0xD0 is the usual octet, but the numbering-plan nibble
  // does not change how the value is packed.
  return (typeOfAddress & 0x70) == 0x50;
}

bool isInternational(std::uint8_t typeOfAddress) { return (typeOfAddress & 0x70) == 0x10; }

}  // namespace

std::u16string decodeAddressValue(std::span<const std::uint8_t> address, unsigned semiOctets) {
  if (address.size() < 2) return {};
  const auto digits = address.subspan(1);
  if (isAlphanumeric(address[0])) {
    // Mapped through the alphabet: taking septet codes as characters would turn "@" into NUL and
    // "_" into a control character.
    const auto septets = unpackSeptets(digits, 0, semiOctets * 4 / 7);
    return gsmSeptetsToText(septets);
  }
  std::u16string number;
  number.reserve(digits.size() * 2 + 1);
  // Kept with the number: a reply to the bare digits would go out as a number of unknown type,
  // which networks read as a national one.
  if (isInternational(address[0])) number.push_back(u'+');
  for (const std::uint8_t octet : digits) {
    for (const unsigned nibble : {octet & 0x0Fu, static_cast<unsigned>(octet >> 4)}) {
      if (nibble < 10) number.push_back(static_cast<char16_t>(u'0' + nibble));
    }
  }
  if (number == u"+") number.clear();
  return number;
}

}  // namespace parlane
