#include "core/util/Headless.h"

#include <cstdlib>

namespace parlane {

bool noDisplayInEnvironment() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return false;
  }
  return true;
}

bool isHeadlessPlatform(std::string_view platformName) {
  return platformName == "offscreen" || platformName == "minimal";
}

}  // namespace parlane
