#pragma once

#include <string>
#include <string_view>

#include "service/ServiceWindow.h"

namespace parlane {

// "Parlane%s (disconnected)" and its siblings, with the instance suffix and the port name.
std::u16string connectionTitle(ConnectionState state, std::u16string_view instanceSuffix,
                               std::u16string_view port);

// The tool tip carries the title's first 63 characters (never half a surrogate pair).
std::u16string trayToolTip(std::u16string_view title);
inline constexpr std::size_t kToolTipLength = 63;

}  // namespace parlane
