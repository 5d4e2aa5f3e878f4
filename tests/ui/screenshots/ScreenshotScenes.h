#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

namespace parlane::shots {

// One picture: its file name (without ".png") and the window to take.
struct Scene {
  const char* name;
  std::function<std::unique_ptr<QWidget>()> make;
  // How long the window needs to fill itself (a probe of the modems takes seconds).
  int settleMs = 1000;
};

// Every picture, in the order the README shows them.
std::vector<Scene> scenes();

}  // namespace parlane::shots
