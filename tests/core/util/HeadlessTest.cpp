#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "core/util/Headless.h"

namespace parlane {
namespace {

// Sets DISPLAY and WAYLAND_DISPLAY for one case and puts the old values back.
class DisplayEnvironment {
 public:
  DisplayEnvironment(const char* display, const char* wayland) {
    set("DISPLAY", display, oldDisplay_);
    set("WAYLAND_DISPLAY", wayland, oldWayland_);
  }
  ~DisplayEnvironment() {
    restore("DISPLAY", oldDisplay_);
    restore("WAYLAND_DISPLAY", oldWayland_);
  }

 private:
  static void set(const char* name, const char* value, std::optional<std::string>& old) {
    if (const char* current = std::getenv(name)) old = current;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  static void restore(const char* name, const std::optional<std::string>& old) {
    if (old) {
      ::setenv(name, old->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  std::optional<std::string> oldDisplay_;
  std::optional<std::string> oldWayland_;
};

TEST(Headless, NoDisplayUnlessX11OrWaylandIsNamed) {
  const struct {
    const char* display;
    const char* wayland;
    bool none;
  } cases[] = {
      {nullptr, nullptr, true},      {"", "", true},           {":0", nullptr, false},
      {nullptr, "wayland-0", false}, {"", "wayland-0", false}, {":1", "", false},
  };
  for (const auto& c : cases) {
    const DisplayEnvironment environment(c.display, c.wayland);
    EXPECT_EQ(noDisplayInEnvironment(), c.none)
        << "DISPLAY=" << (c.display ? c.display : "(unset)")
        << " WAYLAND_DISPLAY=" << (c.wayland ? c.wayland : "(unset)");
  }
}

TEST(Headless, PlatformsThatDrawNowhere) {
  EXPECT_TRUE(isHeadlessPlatform("offscreen"));
  EXPECT_TRUE(isHeadlessPlatform("minimal"));
  for (const char* platform : {"xcb", "wayland", "", "Offscreen"}) {
    EXPECT_FALSE(isHeadlessPlatform(platform)) << platform;
  }
}

}  // namespace
}  // namespace parlane
