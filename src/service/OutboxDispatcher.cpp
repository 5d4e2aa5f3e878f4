#include "service/OutboxDispatcher.h"

#include <algorithm>
#include <string>
#include <unordered_set>

#include "core/log/Logger.h"
#include "core/util/Clock.h"
#include "core/util/Utf.h"
#include "engine/SmsSender.h"
#include "message/GenericMessage.h"
#include "service/ServiceState.h"
#include "storage/FolderSchema.h"
#include "storage/GenericDatabase.h"
#include "storage/MessageRecords.h"
#include "transport/AsyncSerialComm.h"

namespace parlane {

namespace {

unsigned outboxColumn(std::u16string_view name) {
  return static_cast<unsigned>(columnIndex(StoreKind::Outbox, name));
}

}  // namespace

OutboxDispatcher::OutboxDispatcher(GenericDatabase& outbox, AsyncSerialComm& channel,
                                   SmsSender& sender, ServiceState& state)
    : outbox_(outbox), channel_(channel), sender_(sender), state_(state) {}

void OutboxDispatcher::loadQueue() {
  // Every record has a key, so "key not empty" selects them all, in key order.
  const std::vector<DatabaseRecord> records = outbox_.selectNotEqual(0, u"", 0);
  std::lock_guard guard(mutex_);
  // A set of what is queued already: a campaign of 100,000 records loads in one pass.
  std::unordered_set<std::u16string> queued(queue_.begin(), queue_.end());
  for (const DatabaseRecord& record : records) {
    if (record.empty()) continue;
    const std::u16string& id = record[0];
    if (inFlight_ && inFlight_->recordId == id) continue;
    if (queued.insert(id).second) queue_.push_back(id);
  }
  if (!records.empty()) {
    Logger::log(0, "Outbox: " + std::to_string(queue_.size()) + " message(s) queued for sending");
  }
}

std::optional<std::vector<std::u16string>> OutboxDispatcher::queueAll(
    const std::vector<const GenericMessage*>& messages) {
  std::lock_guard guard(mutex_);
  std::vector<std::u16string> ids = putNew(messages);
  if (outbox_.save() != 0) {
    for (const std::u16string& id : ids) outbox_.remove(id);
    return std::nullopt;
  }
  queue_.insert(queue_.end(), ids.begin(), ids.end());
  return ids;
}

std::vector<std::u16string> OutboxDispatcher::putNew(
    const std::vector<const GenericMessage*>& messages) {
  std::vector<std::u16string> ids;
  ids.reserve(messages.size());
  for (const GenericMessage* message : messages) {
    ids.push_back(outbox_.newIdText());
    std::unique_ptr<GenericMessage> queued = message->clone();
    queued->attempts = 0;
    outbox_.put(outgoingRecord(*queued, StoreKind::Outbox, ids.back()));
  }
  return ids;
}

void OutboxDispatcher::append(const std::u16string& id) {
  std::lock_guard guard(mutex_);
  if (std::find(queue_.begin(), queue_.end(), id) == queue_.end()) queue_.push_back(id);
}

void OutboxDispatcher::dispatchNext() {
  if (state_.sendPause() || channel_.getStatus() != ChannelStatus::Idle) return;
  std::unique_ptr<GenericMessage> message;
  {
    std::lock_guard guard(mutex_);
    // One message at a time: the next one waits for the result of this one.
    if (inFlight_ || stopping_) return;
    if (!unsaved_.empty()) {
      std::erase_if(unsaved_, [](GenericDatabase* folder) { return folder->save() == 0; });
      if (!unsaved_.empty()) return;
      Logger::log(1, std::string("Outbox: the folders can be saved again; sending goes on"));
    }
    while (!message && !queue_.empty()) {
      const std::u16string id = queue_.front();
      queue_.pop_front();
      DatabaseRecord record;
      if (!outbox_.get(id, record)) continue;  // removed meanwhile (control panel)
      message = messageFromRecord(record, StoreKind::Outbox);
      if (!message) {
        Logger::log(2, u"Outbox: record " + id + u" has an unknown type, not sent");
        continue;
      }
      inFlight_ = InFlight{id, message->uniqueid};
    }
  }
  if (!message) return;
  if (onHandOut_) onHandOut_(*message);
  sender_.enqueue(std::move(message));
}

void OutboxDispatcher::setOnHandOut(std::function<void(const GenericMessage&)> onHandOut) {
  onHandOut_ = std::move(onHandOut);
}

std::optional<std::u16string> OutboxDispatcher::takeSettled(const GenericMessage& message) {
  std::lock_guard guard(mutex_);
  std::optional<std::u16string> recordId;
  if (inFlight_ && inFlight_->uniqueid == message.uniqueid) {
    // Deleted by the user (outbox page, "Flush") while in the sender's hands: it has no record.
    DatabaseRecord record;
    if (outbox_.get(inFlight_->recordId, record)) recordId = inFlight_->recordId;
    inFlight_.reset();
    settled_.notify_all();
    // Taken off the queue when it was handed out: no need to look through the queue behind it.
    return recordId;
  } else {
    DatabaseRecord record;
    const std::u16string uniqueid = fromAscii(std::to_string(message.uniqueid));
    if (outbox_.findFirstEqual(outboxColumn(u"uniqueid"), uniqueid, record) && !record.empty()) {
      recordId = record[0];
    }
  }
  if (recordId) std::erase(queue_, *recordId);
  return recordId;
}

void OutboxDispatcher::returnInFlight() {
  std::lock_guard guard(mutex_);
  if (!inFlight_) return;
  queue_.push_front(inFlight_->recordId);
  inFlight_.reset();
  settled_.notify_all();
}

void OutboxDispatcher::stopDispatching() {
  std::lock_guard guard(mutex_);
  stopping_ = true;
}

bool OutboxDispatcher::waitSettled(const Clock& clock, std::int64_t deadlineMs) {
  std::unique_lock lock(mutex_);
  return clock.waitUntil(settled_, lock, deadlineMs, [this] { return !inFlight_.has_value(); });
}

void OutboxDispatcher::holdUntilSaved(GenericDatabase& folder) {
  std::lock_guard guard(mutex_);
  if (unsaved_.empty()) {
    Logger::log(3, std::string("Outbox: nothing is sent until the folders can be saved again"));
  }
  if (std::find(unsaved_.begin(), unsaved_.end(), &folder) == unsaved_.end()) {
    unsaved_.push_back(&folder);
  }
}

bool OutboxDispatcher::removeQueued(const std::u16string& id) {
  std::lock_guard guard(mutex_);
  if (inFlight_ && inFlight_->recordId == id) return false;
  DatabaseRecord record;
  if (!outbox_.get(id, record)) return false;
  outbox_.remove(id);
  if (outbox_.save() != 0) {
    outbox_.put(record);
    return false;
  }
  std::erase(queue_, id);
  return true;
}

std::size_t OutboxDispatcher::queuedCount() const {
  std::lock_guard guard(mutex_);
  return queue_.size();
}

bool OutboxDispatcher::hasInFlight() const {
  std::lock_guard guard(mutex_);
  return inFlight_.has_value();
}

}  // namespace parlane
