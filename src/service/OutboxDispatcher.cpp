#include "service/OutboxDispatcher.h"

#include <algorithm>
#include <string>
#include <unordered_set>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
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

MessageTime timeField(const DatabaseRecord& record, std::u16string_view name) {
  const unsigned column = outboxColumn(name);
  if (column >= record.size() || record[column].empty()) return 0;
  return std::max(0, SettingsStore::parseInt(record[column]));
}

std::int64_t wallMs(const Clock& clock) {
  const timespec now = clock.wallTime();
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

OutboxDispatcher::OutboxDispatcher(GenericDatabase& outbox, AsyncSerialComm& channel,
                                   SmsSender& sender, ServiceState& state, const Clock& clock)
    : outbox_(outbox),
      channel_(channel),
      sender_(sender),
      state_(state),
      clock_(clock),
      commit_([this] { return outbox_.save(); }) {}

void OutboxDispatcher::setTimer(Timer timer) {
  std::lock_guard guard(mutex_);
  timer_ = std::move(timer);
}

void OutboxDispatcher::setExpiredHandler(ExpiredHandler handler) {
  std::lock_guard guard(mutex_);
  expiredHandler_ = std::move(handler);
}

bool OutboxDispatcher::track(const std::u16string& id, const DatabaseRecord& record) {
  return times_.track(id, timeField(record, u"notbefore"), timeField(record, u"expires"),
                      messageTimeNow(clock_));
}

void OutboxDispatcher::releaseDue(std::vector<Expired>& expired) {
  const MessageTime now = messageTimeNow(clock_);
  const std::vector<std::u16string> due = times_.takeDue(now);
  // Due first, in the order of their times.
  queue_.insert(queue_.begin(), due.begin(), due.end());
  for (const std::u16string& id : times_.takeExpired(now)) {
    // The one in the sender's hands gets its result first; a failure then files it as expired.
    if (inFlight_ && inFlight_->recordId == id) continue;
    std::erase(queue_, id);
    DatabaseRecord record;
    if (!outbox_.get(id, record)) continue;  // removed meanwhile
    std::unique_ptr<GenericMessage> message = messageFromRecord(record, StoreKind::Outbox);
    if (message) expired.push_back(Expired{std::move(message), id});
  }
}

void OutboxDispatcher::rearm() {
  const std::optional<MessageTime> next = times_.next();
  if (!timer_ || (!next && !armed_)) return;
  armed_ = next.has_value();
  if (!next) {
    timer_(std::nullopt);
    return;
  }
  timer_(std::max<std::int64_t>(0, std::int64_t{*next} * 1000 - wallMs(clock_)));
}

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
    if (saving_.contains(id)) continue;  // queueAll queues it once it is saved
    if (times_.waits(id) || track(id, record)) continue;
    if (queued.insert(id).second) queue_.push_back(id);
  }
  if (!records.empty()) {
    Logger::log(0, "Outbox: " + std::to_string(queue_.size()) + " message(s) queued for sending");
  }
  if (times_.waitingCount() > 0) {
    Logger::log(
        0, "Outbox: " + std::to_string(times_.waitingCount()) + " message(s) wait for their time");
  }
  rearm();
}

std::optional<std::vector<std::u16string>> OutboxDispatcher::queueAll(
    const std::vector<const GenericMessage*>& messages) {
  std::vector<std::u16string> ids;
  {
    std::lock_guard guard(mutex_);
    ids = putNew(messages);
    saving_.insert(ids.begin(), ids.end());
  }
  if (commit_.commit() != 0) {
    {
      std::lock_guard guard(mutex_);
      for (const std::u16string& id : ids) {
        saving_.erase(id);
        outbox_.remove(id);
      }
    }
    // Another caller's flush may have written them meanwhile: the caller is told they were not
    // taken, so they must not come back at the next start either.
    commit_.commit();
    return std::nullopt;
  }
  std::lock_guard guard(mutex_);
  for (const std::u16string& id : ids) saving_.erase(id);
  const MessageTime now = messageTimeNow(clock_);
  for (std::size_t i = 0; i < ids.size(); ++i) {
    // Taken out meanwhile (the control panel): nothing to queue.
    DatabaseRecord record;
    if (!outbox_.get(ids[i], record)) continue;
    if (!times_.track(ids[i], messages[i]->notBefore, messages[i]->expires, now)) {
      queue_.push_back(ids[i]);
    }
  }
  rearm();
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
  DatabaseRecord record;
  if (outbox_.get(id, record) && track(id, record)) {
    rearm();
    return;
  }
  if (std::find(queue_.begin(), queue_.end(), id) == queue_.end()) queue_.push_back(id);
  rearm();
}

void OutboxDispatcher::dispatchNext() {
  const bool canSend = !state_.sendPause() && channel_.getStatus() == ChannelStatus::Idle;
  std::vector<Expired> expired;
  std::unique_ptr<GenericMessage> message;
  {
    std::lock_guard guard(mutex_);
    releaseDue(expired);
    message = takeNext(canSend, expired);
    rearm();
  }
  for (Expired& given : expired) {
    if (expiredHandler_) expiredHandler_(std::move(given.message), given.recordId);
  }
  if (!message) return;
  if (onHandOut_) onHandOut_(*message);
  sender_.enqueue(std::move(message));
}

void OutboxDispatcher::setOnHandOut(std::function<void(const GenericMessage&)> onHandOut) {
  onHandOut_ = std::move(onHandOut);
}

std::unique_ptr<GenericMessage> OutboxDispatcher::takeNext(bool canSend,
                                                           std::vector<Expired>& expired) {
  // One message at a time: the next one waits for the result of this one.
  if (!canSend || inFlight_ || stopping_) return nullptr;
  if (!unsaved_.empty()) {
    std::erase_if(unsaved_, [](GenericDatabase* folder) { return folder->save() == 0; });
    if (!unsaved_.empty()) return nullptr;
    Logger::log(1, std::string("Outbox: the folders can be saved again; sending goes on"));
  }
  const MessageTime now = messageTimeNow(clock_);
  std::unique_ptr<GenericMessage> message;
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
    if (message->expires > 0 && message->expires <= now) {
      times_.forget(id);
      expired.push_back(Expired{std::move(message), id});
      continue;
    }
    // Its time came back (a record written meanwhile): it waits beside the queue.
    if (track(id, record)) {
      message.reset();
      continue;
    }
    // Its expiry is looked at again when it comes back from the sender.
    times_.forget(id);
    inFlight_ = InFlight{id, message->uniqueid};
  }
  return message;
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
  if (recordId) {
    std::erase(queue_, *recordId);
    times_.forget(*recordId);
  }
  return recordId;
}

void OutboxDispatcher::returnInFlight() {
  std::lock_guard guard(mutex_);
  if (!inFlight_) return;
  DatabaseRecord record;
  if (outbox_.get(inFlight_->recordId, record)) track(inFlight_->recordId, record);
  queue_.push_front(inFlight_->recordId);
  inFlight_.reset();
  settled_.notify_all();
  rearm();
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
  if ((inFlight_ && inFlight_->recordId == id) || saving_.contains(id)) return false;
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

std::size_t OutboxDispatcher::waitingCount() const {
  std::lock_guard guard(mutex_);
  return times_.waitingCount();
}

bool OutboxDispatcher::hasInFlight() const {
  std::lock_guard guard(mutex_);
  return inFlight_.has_value();
}

}  // namespace parlane
