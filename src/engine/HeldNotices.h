#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace parlane {

class AsyncEvent;

// New-message and status-report notices that came while the modem was being initialized. Read
// at once, their commands would slip in between the initialization's and their replies would be
// taken for its answers; they are kept until the initialization has ended. The receiving thread
// holds, the service thread releases.
class HeldNotices {
 public:
  // Keeps a copy of `notice` when `holding()` is true; true when kept. The check and the keeping
  // are one step against release(), so a notice is never kept after the last release.
  bool hold(const AsyncEvent& notice, const std::function<bool()>& holding);
  // What was kept, oldest first; nothing is kept afterwards.
  std::vector<std::unique_ptr<AsyncEvent>> release();

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<AsyncEvent>> held_;
};

}  // namespace parlane
