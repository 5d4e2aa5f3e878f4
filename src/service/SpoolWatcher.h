#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

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
class SpoolWatcher {
 public:
  // Stores the messages in the outbox with one save; false (nothing stored) when it can't.
  using Queue = std::function<bool(const std::vector<std::unique_ptr<GenericMessage>>&)>;

  static constexpr const char* kRejectedFolder = "rejected";

  SpoolWatcher(std::string folder, const SettingsStore& settings, Queue queue);
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

  // Takes every waiting file, in name order (start, and when inotify lost events).
  void takeWaiting();
  // Takes one file of the folder by name.
  void takeFile(const std::string& name);

  const std::string& folder() const { return folder_; }

 private:
  void run();
  void readEvents();
  void reject(const std::string& name, const std::string& reason);

  std::string folder_;
  const SettingsStore& settings_;
  Queue queue_;
  int inotifyFd_ = -1;
  int wakeFd_ = -1;
  std::thread thread_;
};

}  // namespace parlane
