#include "storage/MessageStores.h"

#include <cerrno>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/ErrorText.h"
#include "core/util/StringTable.h"
#include "core/util/Utf.h"
#include "storage/InstanceFileName.h"

namespace parlane {

std::u16string StoreOpenFailure::message() const {
  // The system's text for a lock held elsewhere ("Resource temporarily unavailable") tells the
  // user nothing.
  const std::u16string reason =
      error == EWOULDBLOCK
          ? u"the file is in use by another program (is another copy of Parlane using the same "
            u"folder file?)"
          : errorText(error);
  return formatString(text::kErrorOpeningFile, {fileName, reason});
}

MessageStores::MessageStores(SettingsStore& settings, std::string dataFolder, int instance)
    : settings_(settings), dataFolder_(std::move(dataFolder)), instance_(instance) {}

MessageStores::~MessageStores() {
  // At exit the journals are folded into the folder files, so that the files alone show
  // everything to other programs, and the next start reads no journal.
  for (const auto& database : stores_) {
    if (database == nullptr || database->compact() == 0) continue;
    const int error = errno;
    Logger::log(2, "Can't write the journal into folder file " + database->path() + ": " +
                       toUtf8(errorText(error)) + "; it is applied at the next start");
  }
}

void MessageStores::compactWhenQuiet(std::int64_t nowMs) {
  for (const auto& database : stores_) {
    if (database == nullptr || database->compactWhenQuiet(nowMs, kQuietCompactionMs) == 0) continue;
    const int error = errno;
    Logger::log(2, "Can't write the journal into folder file " + database->path() + ": " +
                       toUtf8(errorText(error)) + "; it is tried again later");
  }
}

bool MessageStores::open(StoreOpenFailure* failure) {
  declareStoreSchemas(settings_);
  for (StoreKind kind : kAllStores) {
    const std::u16string name = storeName(kind);
    const std::u16string fileKey = name + u".filename";
    if (instance_ > 0) {
      settings_.setString(fileKey, instanceFileName(settings_.getString(fileKey), instance_));
    }
    auto database = std::make_unique<FileDatabase>(name, settings_, dataFolder_);
    int result = database->load(true);
    int error = errno;
    // Only a missing file may be created: anything else still holds the user's messages.
    if (result != 0 && error == ENOENT) {
      result = database->truncate();
      error = errno;
    }
    if (result != 0) {
      Logger::log(3,
                  "Can't open folder file " + database->path() + ": " + toUtf8(errorText(error)));
      if (failure != nullptr) {
        failure->store = name;
        failure->fileName = settings_.getString(fileKey);
        failure->error = error;
      }
      return false;
    }
    stores_[static_cast<size_t>(kind)] = std::move(database);
  }
  settleInterruptedMove();
  return true;
}

void MessageStores::settleInterruptedMove() {
  FileDatabase& queue = outbox();
  const auto queueColumn = static_cast<unsigned>(columnIndex(StoreKind::Outbox, u"uniqueid"));
  for (StoreKind kind : {StoreKind::Sent, StoreKind::Failed}) {
    const auto column = static_cast<size_t>(columnIndex(kind, u"uniqueid"));
    std::vector<std::pair<std::u16string, std::u16string>> found;  // uniqueid, outbox record
    // The removals a power cut may have lost belong to the newest records of the folder.
    for (const DatabaseRecord& record : store(kind).newest(kSettleWindow)) {
      const std::u16string& uniqueid = record[column];
      DatabaseRecord queued;
      if (uniqueid.empty() || !queue.findFirstEqual(queueColumn, uniqueid, queued)) continue;
      queue.remove(queued[0]);
      found.emplace_back(uniqueid, queued[0]);
    }
    if (found.empty()) continue;
    const bool saved = queue.save() == 0;
    for (const auto& [uniqueid, key] : found) {
      Logger::log(2, u"Outbox: message " + uniqueid + u" (record " + key + u") is in the " +
                         storeName(kind) + u" folder already; " +
                         (saved ? u"taken out of the outbox, so that it isn't sent again"
                                : u"can't save the outbox, it stays there"));
    }
  }
}

bool MessageStores::saveAll() {
  bool ok = true;
  for (StoreKind kind : kAllStores) {
    FileDatabase* database = stores_[static_cast<size_t>(kind)].get();
    if (database == nullptr) continue;
    if (database->save() != 0) {
      const int error = errno;
      Logger::log(3,
                  "Can't save folder file " + database->path() + ": " + toUtf8(errorText(error)));
      ok = false;
    }
  }
  return ok;
}

std::int32_t MessageStores::largestStoredMessageId() const {
  std::int32_t largest = 0;
  for (StoreKind kind : kMessageFolders) {
    const FileDatabase* database = stores_[static_cast<size_t>(kind)].get();
    if (database == nullptr) continue;
    const int column = columnIndex(kind, u"uniqueid");
    DatabaseRecord record;
    if (database->findMaximum(static_cast<unsigned>(column), true, record)) {
      largest = std::max(largest, SettingsStore::parseInt(record[static_cast<size_t>(column)]));
    }
  }
  return largest;
}

FileDatabase& MessageStores::store(StoreKind kind) { return *stores_[static_cast<size_t>(kind)]; }

}  // namespace parlane
