#pragma once

namespace parlane {

// The engine's view of the main window: it only posts numbered notices to it (1026 to 1033).
// Called from the engine's threads; the window queues them to its own thread.
class MainWindowLink {
 public:
  virtual ~MainWindowLink() = default;
  virtual void post(int code) = 0;
};

}  // namespace parlane
