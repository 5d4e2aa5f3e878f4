#include "service/WindowBalloons.h"

#include "service/ServiceWindow.h"

namespace parlane {

void WindowBalloons::balloon(std::u16string_view title, std::u16string_view text) {
  window_.balloon(title, text);
}

}  // namespace parlane
