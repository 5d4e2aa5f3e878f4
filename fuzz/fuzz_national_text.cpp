// The national language tables on arbitrary input: a header names only tables that exist, septets
// read with any pair of ids (known or not) never give more characters than septets, and a text
// the tables can write comes back unchanged.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "gsm/NationalAlphabet.h"
#include "gsm/UserDataHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // Ids 0 to 15 and beyond: unknown ones must read as the default tables.
  const parlane::GsmLanguages languages{data[0] % 20, data[1] % 20};
  const std::span<const std::uint8_t> rest(data + 2, size - 2);

  const parlane::GsmLanguages named = parlane::languagesOfHeader(rest);
  if (parlane::lockingShiftTable(named.locking) == nullptr ||
      parlane::singleShiftTable(named.shift) == nullptr) {
    __builtin_trap();
  }

  if (parlane::septetsToText(rest, languages).size() > rest.size()) __builtin_trap();

  std::u16string text;
  for (std::size_t i = 0; i + 1 < rest.size(); i += 2) {
    text.push_back(static_cast<char16_t>(rest[i] << 8 | rest[i + 1]));
  }
  if (const auto septets = parlane::textToSeptets(text, languages)) {
    if (parlane::septetsToText(*septets, languages) != text) __builtin_trap();
  }
  return 0;
}
