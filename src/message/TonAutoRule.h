#pragma once

#include <cstdint>
#include <string_view>

#include "message/TonValue.h"

namespace parlane {

class SettingsStore;

// The process-wide rule that picks a type of number when the user chose "Auto". A copy of
// "auto_ton.length", "auto_ton.short" and "auto_ton.long" is kept: start-up loads it and the
// control panel reloads it when those settings are saved. Safe to read from any thread.
class TonAutoRule {
 public:
  struct Parameters {
    std::int32_t shortLength = 0;  // longest number (in UTF-16 units) that counts as short
    std::int32_t shortTon = 0;
    std::int32_t longTon = 0;
  };

  static void load(const SettingsStore& settings);
  static void set(const Parameters& parameters);
  static Parameters current();
};

// "+..." gives international, the empty number unknown, otherwise the short or long TON of the
// current rule by length.
TonValue resolveAutoTon(std::u16string_view number);

}  // namespace parlane
