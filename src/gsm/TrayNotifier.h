#pragma once

#include <atomic>
#include <string_view>

namespace parlane {

// How code outside the user interface reaches the tray balloon. The main window installs itself
// once it exists; until then (and in tools and tests without one) notices go to the log.
class TrayNotifier {
 public:
  virtual ~TrayNotifier() = default;
  virtual void balloon(std::u16string_view title, std::u16string_view text) = 0;

  static TrayNotifier* global() { return instance().load(); }
  static void setGlobal(TrayNotifier* notifier) { instance().store(notifier); }

 private:
  static std::atomic<TrayNotifier*>& instance() {
    static std::atomic<TrayNotifier*> current{nullptr};
    return current;
  }
};

}  // namespace parlane
