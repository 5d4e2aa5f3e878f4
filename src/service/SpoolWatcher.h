#pragma once

#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/util/Clock.h"
#include "service/OutboxSubmission.h"

namespace parlane {

class GenericMessage;
class SettingsStore;

// Takes the message files other programs drop into the spool folder and queues their messages
// through the send path (number checks, outbox record, outbox id queue, dispatch). Its thread
// sleeps on inotify, so a file is taken the moment it is complete: closed after writing, or
// renamed into the folder (writers write "*.tmp" and rename; names ending in ".tmp" or starting
// with a dot are left alone). A file leaves the folder only once its messages are saved in the
// outbox; a file that can't be read or checked goes to "rejected/" with "<name>.error" beside it.
// Symbolic links are never followed: they are rejected as they are.
// A file is claimed before it is read: moved into the private ".taking/" folder, so that a writer
// who renames a new file over the name meanwhile loses nothing. A file found by a look through
// the folder (start, a link made with ln, lost events) that is still open for writing or changed
// in the last second waits. A file whose messages can't be saved is tried again every minute.
// The folder is trusted only while it is the user's own and nobody else can write to it.
class SpoolWatcher {
 public:
  // The outbox's door: checks the numbers and stores the messages with one save, all of them or
  // none.
  using Queue = std::function<SubmitResult(std::vector<std::unique_ptr<GenericMessage>>)>;

  // A pool folder shared by several instances: whenever `room` says the instance takes more
  // (it is connected and its outbox holds few messages), files are taken from the pool one at a
  // time by a rename into this spool (see service/PoolNames.h), and queued at once. `queued`
  // says whether messages of a taken file's name are in the folders already: a file a crash left
  // claimed after its messages were queued is then removed, not queued twice.
  struct Pool {
    std::string folder;
    std::function<std::size_t()> room;
    std::function<bool(const std::string& takenName)> queued;
  };

  static constexpr const char* kRejectedFolder = "rejected";

  static constexpr const char* kTakingFolder = ".taking";
  // A file still being written is looked at again after this long.
  static constexpr std::int64_t kBusyRetryMs = 1000;
  // Files whose messages the outbox could not take are offered again this often.
  static constexpr std::int64_t kSaveRetryMs = 60000;

  SpoolWatcher(std::string folder, const SettingsStore& settings, Queue queue,
               const Clock& clock = Clock::system());
  ~SpoolWatcher();
  SpoolWatcher(const SpoolWatcher&) = delete;
  SpoolWatcher& operator=(const SpoolWatcher&) = delete;

  // The spool folder of an instance in the data folder: "spool", or "spool.N" for N > 0.
  static std::string folderFor(const std::string& dataFolder, int instance);

  // Creates the folder (0700) and "rejected/" when missing, starts watching, takes the files
  // already waiting and starts the thread. False, with a log line, when the folder can't be used:
  // the gateway then runs without a spool.
  bool start();
  // Asks the thread to end; join waits for it.
  void stop();
  void join();

  // Makes the thread look at the clock again (a manual clock that was moved).
  void wake();

  // Takes every waiting file, in name order (start, and when inotify lost events).
  void takeWaiting();
  // Takes one file of the folder by name; `complete` when inotify said it was closed after
  // writing or renamed in, so that only another writer still holding it open makes it wait.
  void takeFile(const std::string& name, bool complete = false);

  // Before start(): take files from `pool` too.
  void setPool(Pool pool);
  // Takes files from the pool while the instance has room for them (the thread; start).
  void takeFromPool();

  const std::string& folder() const { return folder_; }

 private:
  struct Pending {
    std::int64_t dueMs = 0;
    bool saveFailed = false;
  };

  void run();
  void readEvents();
  void takeDue();
  // False, with a log line when this changes, while the folder is not the user's own or others
  // may write to it.
  bool trusted();
  // The same for the pool folder.
  bool poolTrusted();
  // Opens and watches the pool folder; false (logged) when it can't be used.
  bool startPool();
  // Reads, checks and queues the file claimed as ".taking/<name>" (open as `fd`).
  void takeClaimed(const std::string& name, int fd, const struct stat& st);
  // Takes ".taking/<name>", left there by a crash or by a name a newer file took meanwhile.
  void takeLeftover(const std::string& name);
  // Moves `name` of the folder `fromFd` to "rejected/", with its reason beside it.
  void reject(int fromFd, const std::string& name, const std::string& reason);
  void later(const std::string& name, std::int64_t delayMs, bool saveFailed);

  std::string folder_;
  const SettingsStore& settings_;
  Queue queue_;
  const Clock& clock_;
  int folderFd_ = -1;
  int takingFd_ = -1;
  int inotifyFd_ = -1;
  int wakeFd_ = -1;
  bool untrustedLogged_ = false;
  Pool pool_;
  int poolFd_ = -1;
  int poolWatch_ = -1;
  bool poolUntrustedLogged_ = false;
  std::atomic<bool> stopping_{false};
  // Files to look at again, by name; the thread's own (and start's, before the thread runs).
  std::map<std::string, Pending> pending_;
  std::thread thread_;
};

}  // namespace parlane
