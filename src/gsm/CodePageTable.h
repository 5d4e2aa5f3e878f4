#pragma once

#include <cstdint>
#include <span>

namespace parlane {

// A Windows code page and the names it goes by.
struct CodePageName {
  std::uint32_t codePage;
  const char* iconvName;    // what glibc iconv calls it
  const char* bodyCharset;  // MIME names
  const char* webCharset;
  const char16_t* description;
  std::uint32_t family;  // 0: the code page's own
};

// Every code page the program knows, in catalogue order.
std::span<const CodePageName> knownCodePages();
// The iconv name of a code page, or null when it is not known.
const char* iconvNameForCodePage(std::uint32_t codePage);

}  // namespace parlane
