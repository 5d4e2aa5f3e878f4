#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/util/Clock.h"
#include "service/OutboxTimes.h"
#include "storage/DatabaseRecord.h"
#include "storage/GroupCommit.h"

namespace parlane {

class AsyncSerialComm;
class GenericDatabase;
class GenericMessage;
class SmsSender;
class ServiceState;

// Hands queued outbox messages to the sender, one at a time. A record stays in the outbox while
// its message is in the sender's hands; it leaves only once its send result has been recorded, so
// a crash or a power cut loses nothing. The id of the message in flight is never queued, so no
// record goes to the modem twice. One lock guards the id queue and the message in flight.
// A message with a "not before" time waits beside the queue, so the messages behind it go
// first; when its time comes it goes to the front. A message not sent by its expiry is given up.
// The earliest of those times is handed to a timer, so nothing looks at the clock in between.
class OutboxDispatcher {
 public:
  // Told the milliseconds until the next "not before" time or expiry, or nothing when there is
  // none; at that time dispatchNext() is to be called. Called with the lock held.
  using Timer = std::function<void(std::optional<std::int64_t> delayMs)>;
  // Gets each message given up at its expiry with its outbox record id, to file it; called by
  // dispatchNext() without the lock.
  using ExpiredHandler =
      std::function<void(std::unique_ptr<GenericMessage> message, const std::u16string& recordId)>;

  OutboxDispatcher(GenericDatabase& outbox, AsyncSerialComm& channel, SmsSender& sender,
                   ServiceState& state, const Clock& clock = Clock::system());

  // Set before start.
  void setTimer(Timer timer);
  void setExpiredHandler(ExpiredHandler handler);

  // Queues the ids of the records already in the outbox, in key order (start-up).
  void loadQueue();
  void append(const std::u16string& id);
  // Stores every message in the outbox with one save and queues their ids, in order; when the
  // save fails none of them stays (the caller keeps its copy and tries again later). Callers on
  // several threads share their flushes to disk, and the lock is not held during one.
  std::optional<std::vector<std::u16string>> queueAll(
      const std::vector<const GenericMessage*>& messages);

  // Moves the waiting messages whose time has come to the front of the queue and gives up the
  // expired ones (also while no message can be sent); then hands the next message to the sender
  // unless a pause runs, the channel is not idle or a message is still in flight.
  void dispatchNext();

  // The send result of `message` is being recorded: the outbox record it came from (the one in
  // flight, else the one with its "uniqueid"), now no longer in flight or queued. Nothing when
  // the outbox holds no record of it (also when the user removed the one in flight).
  std::optional<std::u16string> takeSettled(const GenericMessage& message);

  // The sender's queue was emptied (a connection starts): a message in flight goes back to the
  // front of the queue. Should the sender still have had it in hand, its result finds its record
  // by "uniqueid".
  void returnInFlight();

  // Takes the record `id` out of the outbox and saves it with a flush, unless it is the one in
  // flight or is still being saved by queueAll; false then, or when the save fails (the record
  // then stays).
  bool removeQueued(const std::u16string& id);

  std::size_t queuedCount() const;
  // Told of each message just before it goes to the sender (set before the service starts).
  void setOnHandOut(std::function<void(const GenericMessage&)> onHandOut);
  // Messages held back until their "not before" time.
  std::size_t waitingCount() const;
  bool hasInFlight() const;

  // Nothing more is handed to the sender (shut-down).
  void stopDispatching();
  // Waits until the message in flight has its result, at most until `deadlineMs`; true when
  // none is in flight.
  bool waitSettled(const Clock& clock, std::int64_t deadlineMs);
  // `folder` could not be saved: nothing is handed to the sender until it saves again (tried at
  // every dispatch), so that a full disk can't leave record after record that was sent in the
  // outbox, to be sent again at the next start.
  void holdUntilSaved(GenericDatabase& folder);

 private:
  // Puts each message into the outbox as a new record (attempts 0), without saving; their ids.
  // The lock is held.
  std::vector<std::u16string> putNew(const std::vector<const GenericMessage*>& messages);

  struct Expired {
    std::unique_ptr<GenericMessage> message;
    std::u16string recordId;
  };

  // Notes the times of record `id` (from its fields); true when it waits. The lock is held.
  bool track(const std::u16string& id, const DatabaseRecord& record);
  // The waiting messages whose time has come go to the front of the queue; the expired ones leave
  // it, into `expired`. The lock is held.
  void releaseDue(std::vector<Expired>& expired);
  // Gives the timer the next time to look. The lock is held.
  void rearm();
  // The next message for the sender, when one may go; expired ones met on the way go into
  // `expired`. The lock is held.
  std::unique_ptr<GenericMessage> takeNext(bool canSend, std::vector<Expired>& expired);

  struct InFlight {
    std::u16string recordId;
    std::int32_t uniqueid = 0;
  };

  GenericDatabase& outbox_;
  AsyncSerialComm& channel_;
  SmsSender& sender_;
  ServiceState& state_;
  const Clock& clock_;
  Timer timer_;
  ExpiredHandler expiredHandler_;

  std::function<void(const GenericMessage&)> onHandOut_;
  mutable std::mutex mutex_;
  OutboxTimes times_;
  bool armed_ = false;
  std::deque<std::u16string> queue_;
  std::optional<InFlight> inFlight_;
  std::condition_variable settled_;
  bool stopping_ = false;
  std::vector<GenericDatabase*> unsaved_;
  // Records queueAll has put into the outbox and not yet queued: in the outbox before they are
  // saved, so loadQueue and removeQueued must leave them to it.
  std::unordered_set<std::u16string> saving_;
  GroupCommit commit_;
};

}  // namespace parlane
