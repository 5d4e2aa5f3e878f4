#include "gsm/Numbers.h"

#include <algorithm>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/StringTable.h"
#include "gsm/TrayNotifier.h"

namespace parlane {

namespace {

constexpr int kAppTitleText = 40000;
constexpr int kNationalFormatText = 40216;

bool IsSeparator(char16_t c) {
  return c == u'(' || c == u')' || c == u'-' || c == u'/' || c == u' ';
}

}  // namespace

bool NormalizeNumber(std::u16string& number, std::int32_t ton) {
  if (const auto slash = number.find(u'/'); slash != std::u16string::npos) number.erase(slash);
  if (!number.empty() && number.front() == u'+') {
    number.erase(0, 1);
  } else if (ton == kTonInternational && number.size() > 3) {
    if (number.starts_with(u"00") && number[2] != u'0') {
      number.erase(0, 2);
    } else if (number.starts_with(u"010")) {
      number.erase(0, 3);
    }
  }
  std::erase_if(number, IsSeparator);
  return !number.empty() && std::all_of(number.begin(), number.end(),
                                        [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

bool ApplyPrefixRewrite(std::u16string& destination, const SettingsStore& settings) {
  const std::u16string from = settings.getString("ton_src_prefix");
  if (from.empty() || !destination.starts_with(from)) return false;
  destination.replace(0, from.size(), settings.getString("ton_dst_prefix"));
  return true;
}

bool WarnNationalFormat(std::u16string_view destination, std::int32_t destinationTon,
                        const SettingsStore& settings) {
  if (settings.getInt("ton_warning") != 1) return false;
  if (destinationTon != kTonInternational && destinationTon != kTonNational) return false;
  if (destination.size() <= 2 || destination[0] != u'0' || destination[1] == u'0') return false;
  const std::u16string text = formatString(kNationalFormatText, {std::u16string(destination)});
  if (TrayNotifier* tray = TrayNotifier::global()) {
    tray->balloon(loadString(kAppTitleText), text);
  } else {
    Logger::log(1, text);
  }
  return true;
}

}  // namespace parlane
