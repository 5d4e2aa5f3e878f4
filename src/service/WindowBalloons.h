#pragma once

#include "core/util/Notifier.h"

namespace parlane {

class ServiceWindow;

// Hands the engine's tray notices (the initializer's problem reports) to the window's balloon.
class WindowBalloons : public Notifier {
 public:
  explicit WindowBalloons(ServiceWindow& window) : window_(window) {}
  void balloon(std::u16string_view title, std::u16string_view text) override;

 private:
  ServiceWindow& window_;
};

}  // namespace parlane
