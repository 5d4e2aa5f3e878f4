#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "storage/DatabaseRecord.h"

namespace parlane {

class GenericDatabase;
class MessageStores;
class OutboxDispatcher;

// Gives the messages an instance took from the shared pool back to it, when its modem has stayed
// away too long, so that another instance sends them. Each goes back as a spool file of its own:
// written hidden in the pool (".return.<instance>.<record id>.<name>", which no instance takes),
// then its record leaves the outbox with a flush, and only then the file is renamed to its name.
// So a message is in the outbox or in the pool, never in both and never in neither; a crash
// between the steps leaves the hidden file, which recover() at the next start removes (the
// record is still there) or renames (it is not). The message in flight never goes back.
class PoolReturn {
 public:
  PoolReturn(std::string folder, int instance, GenericDatabase& outbox,
             OutboxDispatcher& dispatcher);

  // Finishes or undoes the returns a crash cut short. Start-up, before anything is queued.
  void recover();
  // Gives back every message taken from the pool that waits in the outbox; how many went.
  // Service thread.
  std::size_t giveBack();

  const std::string& folder() const { return folder_; }

  // Whether the folders hold messages queued from the taken file `takenName` (a pool file's
  // messages carry its unique name).
  static bool queuedUnder(MessageStores& stores, const std::string& takenName);

  // The spool file that queues the message of an outbox record again; nothing when the record
  // can't be written as one.
  static std::optional<std::string> spoolText(const DatabaseRecord& record);

 private:
  // Renames the hidden file `hidden` to `name` (or "<name>.<record id>" when that is taken).
  bool reveal(int folderFd, const std::string& hidden, const std::string& name,
              const std::u16string& recordId);

  std::string folder_;
  int instance_;
  GenericDatabase& outbox_;
  OutboxDispatcher& dispatcher_;
};

}  // namespace parlane
