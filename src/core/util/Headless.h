#pragma once

#include <string_view>

namespace parlane {

// True when the environment names no X11 or Wayland display ($DISPLAY and $WAYLAND_DISPLAY unset
// or empty): there is nothing to draw on.
bool noDisplayInEnvironment();

// True for the user-interface platforms that draw nowhere ("offscreen", "minimal"): no tray
// icon, no message box, messages go to the standard error instead.
bool isHeadlessPlatform(std::string_view platformName);

}  // namespace parlane
