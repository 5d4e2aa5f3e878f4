#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "storage/FileDatabase.h"
#include "storage/FolderSchema.h"

namespace parlane {

class SettingsStore;

// Why opening the stores failed: which store, the file name as configured, and errno.
struct StoreOpenFailure {
  std::u16string store;
  std::u16string fileName;
  int error = 0;
  // "Error opening file (%s): %s" filled with the file name and the system's text for the error.
  std::u16string message() const;
};

// The four message folders and the address book, owned together for the life of the process.
class MessageStores {
 public:
  // `dataFolder` is where relative file names point (the expanded "%appdata%/Quortane SMS");
  // `instance` is the instance number of the process.
  MessageStores(SettingsStore& settings, std::string dataFolder, int instance);
  // Folds each folder's journal into its file.
  ~MessageStores();
  MessageStores(const MessageStores&) = delete;
  MessageStores& operator=(const MessageStores&) = delete;

  // Declares the schemas, then makes and loads each store in the order inbox, outbox, sent,
  // failed, addrbook (an instance above 0 first gets its own file names, written back to the
  // settings). A missing file is created empty; a file that exists but can't be read is left
  // alone and reported, so that nothing in it is overwritten. Stops at the first failure.
  bool open(StoreOpenFailure* failure = nullptr);

  // A message leaves the outbox in two saves: written to "sent" or "failed" and flushed, then
  // removed from the outbox, a removal that may wait for a later flush. After a crash or a power
  // cut between them, `open` finds it in both (among the newest kSettleWindow records of the one,
  // by its "uniqueid") and takes it out of the outbox, so that it isn't sent again.
  static constexpr std::size_t kSettleWindow = 4 * FileDatabase::kUnflushedSaves;

  // A folder whose records have had no change for this long has its journal folded into its file.
  static constexpr std::int64_t kQuietCompactionMs = 60'000;
  // Called on a periodic tick with the monotonic time: folds the journal of each folder that has
  // been quiet for kQuietCompactionMs.
  void compactWhenQuiet(std::int64_t nowMs);

  // Saves every store in the same order; false when any save failed (each one is still tried).
  bool saveAll();

  // The largest "uniqueid" of the four message folders (0 when they are empty).
  std::int32_t largestStoredMessageId() const;

  FileDatabase& store(StoreKind kind);
  FileDatabase& inbox() { return store(StoreKind::Inbox); }
  FileDatabase& outbox() { return store(StoreKind::Outbox); }
  FileDatabase& sent() { return store(StoreKind::Sent); }
  FileDatabase& failed() { return store(StoreKind::Failed); }
  FileDatabase& addressBook() { return store(StoreKind::AddressBook); }
  bool isOpen(StoreKind kind) const { return stores_[static_cast<size_t>(kind)] != nullptr; }

 private:
  void settleInterruptedMove();

  SettingsStore& settings_;
  std::string dataFolder_;
  int instance_;
  std::array<std::unique_ptr<FileDatabase>, 5> stores_;
};

}  // namespace parlane
