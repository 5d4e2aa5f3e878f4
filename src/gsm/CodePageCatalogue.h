#pragma once

#include <vector>

#include "gsm/CodePageInfo.h"

namespace parlane {

// The process-wide list of code pages this machine can convert: a built-in table, keeping the
// entries iconv can open. Filled once at start-up, read-only afterwards.
class CodePageCatalogue {
 public:
  // Fills the catalogue (again, if called twice). True when at least one entry was kept.
  static bool load();
  static const std::vector<CodePageInfo>& entries();
};

// Start-up's name for the same step.
inline bool loadCodePageCatalogue() { return CodePageCatalogue::load(); }

}  // namespace parlane
