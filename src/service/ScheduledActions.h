#pragma once

namespace parlane {

// What the scheduler runs when an entry is due.
class ScheduledActions {
 public:
  virtual ~ScheduledActions() = default;
  // Runs action `id` on the scheduler thread; true asks for the entry's removal (one-shot).
  virtual bool runScheduled(int id) = 0;
};

}  // namespace parlane
