#pragma once

#include <sys/types.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/util/Clock.h"
#include "service/MessageEvent.h"

namespace parlane {

class SettingsStore;

// Runs the program named by "event.run" for each message event, without a shell, on a thread of
// its own: the service thread only queues the event, so a slow or hanging program never holds up
// receiving or sending. At most kMaxRunning programs run at once; the others wait their turn
// (up to kMaxWaiting events, then new ones are dropped with a log line). A program still running
// after "event.timeout" seconds is ended with its whole process group. Its exit code and the
// first lines of its error output are logged. The program gets the event in PARLANE_*
// environment variables, /dev/null as input and output, and its own process group.
// Events still waiting or running at a stop are kept in the queue file and run after the next
// start, so a program may see the same event twice.
class EventRunner {
 public:
  static constexpr std::size_t kMaxRunning = 3;
  static constexpr std::size_t kMaxWaiting = 1000;
  static constexpr std::size_t kErrorLines = 5;
  static constexpr int kDefaultTimeoutSeconds = 60;

  EventRunner(const SettingsStore& settings, int instance, const Clock& clock = Clock::system());
  // Ends the programs still running and joins the thread.
  ~EventRunner();
  EventRunner(const EventRunner&) = delete;
  EventRunner& operator=(const EventRunner&) = delete;

  // The file that keeps the events of a stop for the next start (before start).
  void setQueueFile(std::string path);
  // Starts the thread; the events the queue file kept are run first.
  void start();
  // Asks the thread to end: running programs are ended; they and the waiting events go to the
  // queue file (without one, they are dropped). join waits.
  void stop();
  void join();

  // Hears every event posted, on the posting thread, whether or not "event.run" names a program
  // (the HTTP callbacks). Set before start.
  void setListener(std::function<void(const MessageEvent&)> listener);
  // Queues an event when "event.run" names a program; never blocks. Any thread.
  void post(MessageEvent event);
  // An event only the listener hears of: a report that the service centre is still trying.
  void tell(const MessageEvent& event);
  // Makes the thread look at the clock again (a manual clock that was moved).
  void wake();

  // Programs that ended and were logged so far (tests).
  std::size_t finished() const;
  std::size_t running() const;

 private:
  struct Child {
    pid_t pid = -1;
    int pidFd = -1;
    int errorFd = -1;
    std::int64_t deadlineMs = 0;
    bool killed = false;
    std::string errorOutput;
    std::string program;
    std::string event;
    MessageEvent message;
  };

  void run();
  void launch(const MessageEvent& event);
  void readErrors(Child& child);
  void reap(Child& child);
  void endAll();
  void loadQueue();

  const SettingsStore& settings_;
  const int instance_;
  const Clock& clock_;
  std::string queueFile_;
  std::function<void(const MessageEvent&)> listener_;
  int wakeFd_ = -1;
  std::thread thread_;

  mutable std::mutex mutex_;
  std::deque<MessageEvent> waiting_;
  bool stop_ = false;
  std::size_t finished_ = 0;
  std::size_t runningCount_ = 0;

  // The thread's own.
  std::vector<Child> children_;
};

}  // namespace parlane
