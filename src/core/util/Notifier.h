#pragma once

#include <string_view>

namespace parlane {

// How code outside the windows tells the user something at run time: a tray balloon now; window
// titles and posted commands will join it. Start-up creates the implementation and hands it to
// the objects that need it; there is no process-wide instance.
class Notifier {
 public:
  virtual ~Notifier() = default;
  virtual void balloon(std::u16string_view title, std::u16string_view text) = 0;
};

}  // namespace parlane
