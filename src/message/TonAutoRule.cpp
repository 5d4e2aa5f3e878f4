#include "message/TonAutoRule.h"

#include <atomic>

#include "core/settings/SettingsStore.h"

namespace parlane {

namespace {

// Each parameter is read and written on its own; a reload racing a lookup can at worst mix old
// and new values for that one lookup.
std::atomic<std::int32_t> gShortLength{0};
std::atomic<std::int32_t> gShortTon{0};
std::atomic<std::int32_t> gLongTon{0};

}  // namespace

void TonAutoRule::load(const SettingsStore& settings) {
  set({settings.getInt("auto_ton.length"), settings.getInt("auto_ton.short"),
       settings.getInt("auto_ton.long")});
}

void TonAutoRule::set(const Parameters& parameters) {
  gShortLength.store(parameters.shortLength);
  gShortTon.store(parameters.shortTon);
  gLongTon.store(parameters.longTon);
}

TonAutoRule::Parameters TonAutoRule::current() {
  return {gShortLength.load(), gShortTon.load(), gLongTon.load()};
}

TonValue resolveAutoTon(std::u16string_view number) {
  if (!number.empty() && number.front() == u'+') return kTonInternational;
  if (number.empty()) return kTonUnknown;
  const TonAutoRule::Parameters rule = TonAutoRule::current();
  const bool isShort = static_cast<std::int64_t>(number.size()) <= rule.shortLength;
  return static_cast<TonValue>(isShort ? rule.shortTon : rule.longTon);
}

}  // namespace parlane
