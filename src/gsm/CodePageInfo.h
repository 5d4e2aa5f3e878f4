#pragma once

#include <cstdint>
#include <string>

namespace parlane {

// One entry of the code page catalogue offered by the address book import and export.
struct CodePageInfo {
  std::uint32_t codePage = 0;
  std::string bodyCharset;
  std::string webCharset;
  std::u16string description;
  std::uint32_t family = 0;  // the family's code page; the entry's own when it has none
};

}  // namespace parlane
