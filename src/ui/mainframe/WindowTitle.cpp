#include "ui/mainframe/WindowTitle.h"

#include "core/util/StringTable.h"

namespace parlane {

std::u16string connectionTitle(ConnectionState state, std::u16string_view instanceSuffix,
                               std::u16string_view port) {
  const std::u16string suffix(instanceSuffix);
  switch (state) {
    case ConnectionState::Connecting:
      return formatString(40042, {suffix, std::u16string(port)});
    case ConnectionState::Connected:
      return formatString(40026, {suffix, std::u16string(port)});
    case ConnectionState::Error:
      return formatString(40027, {suffix});
    case ConnectionState::Disconnected:
      break;
  }
  return formatString(40019, {suffix});
}

std::u16string trayToolTip(std::u16string_view title) {
  if (title.size() <= kToolTipLength) return std::u16string(title);
  std::size_t length = kToolTipLength;
  const char16_t last = title[length - 1];
  if (last >= 0xD800 && last <= 0xDBFF) --length;
  return std::u16string(title.substr(0, length));
}

}  // namespace parlane
