#include "gsm/Numbers.h"

#include <algorithm>

namespace parlane {

namespace {

bool isSeparator(char16_t c) {
  return c == u'(' || c == u')' || c == u'-' || c == u'/' || c == u' ';
}

}  // namespace

bool normalizeNumber(std::u16string& number, std::int32_t ton) {
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
  std::erase_if(number, isSeparator);
  return !number.empty() && std::all_of(number.begin(), number.end(),
                                        [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

bool sameNumber(std::u16string_view a, std::u16string_view b) {
  if (a.starts_with(u'+')) a.remove_prefix(1);
  if (b.starts_with(u'+')) b.remove_prefix(1);
  return a == b;
}

bool applyPrefixRewrite(std::u16string& destination, std::u16string_view fromPrefix,
                        std::u16string_view toPrefix) {
  if (fromPrefix.empty() || !destination.starts_with(fromPrefix)) return false;
  destination.replace(0, fromPrefix.size(), toPrefix);
  return true;
}

bool warnNationalFormat(std::u16string_view destination, std::int32_t destinationTon,
                        bool warningEnabled) {
  if (!warningEnabled) return false;
  if (destinationTon != kTonInternational && destinationTon != kTonNational) return false;
  return destination.size() > 2 && destination[0] == u'0' && destination[1] != u'0';
}

}  // namespace parlane
