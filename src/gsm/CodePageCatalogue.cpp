#include "gsm/CodePageCatalogue.h"

#include <iconv.h>

#include "gsm/CodePageTable.h"

namespace parlane {

namespace {

std::vector<CodePageInfo>& catalogue() {
  static std::vector<CodePageInfo> entries;
  return entries;
}

bool iconvCanOpen(const char* name) {
  iconv_t handle = iconv_open(name, "UTF-16LE");
  if (handle == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(handle);
  return true;
}

}  // namespace

bool CodePageCatalogue::load() {
  std::vector<CodePageInfo> entries;
  for (const CodePageName& known : knownCodePages()) {
    if (!iconvCanOpen(known.iconvName)) continue;
    entries.push_back({known.codePage, known.bodyCharset, known.webCharset, known.description,
                       known.family != 0 ? known.family : known.codePage});
  }
  catalogue() = std::move(entries);
  return !catalogue().empty();
}

const std::vector<CodePageInfo>& CodePageCatalogue::entries() { return catalogue(); }

}  // namespace parlane
