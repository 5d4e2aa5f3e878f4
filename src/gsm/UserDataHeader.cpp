#include "gsm/UserDataHeader.h"

namespace parlane {

GsmLanguages languagesOfHeader(std::span<const std::uint8_t> header) {
  GsmLanguages languages;
  std::size_t at = 0;
  while (header.size() - at >= 2) {
    const std::uint8_t id = header[at];
    const std::size_t length = header[at + 1];
    if (header.size() - at - 2 < length) break;
    const int language = length == 1 ? header[at + 2] : -1;
    at += 2 + length;
    if (id == kLockingShiftElement && lockingShiftTable(language) != nullptr) {
      languages.locking = language;
    } else if (id == kSingleShiftElement && singleShiftTable(language) != nullptr) {
      languages.shift = language;
    }
  }
  return languages;
}

}  // namespace parlane
