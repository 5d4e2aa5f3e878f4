#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace parlane {

class AsyncSerialComm;
class Clock;
class GenericDatabase;
class GenericMessage;
class SmsSender;
class ServiceState;

// Hands queued outbox messages to the sender, one at a time. A record stays in the outbox while
// its message is in the sender's hands; it leaves only once its send result has been recorded, so
// a crash or a power cut loses nothing. The id of the message in flight is never queued, so no
// record goes to the modem twice. One lock guards the id queue and the message in flight.
class OutboxDispatcher {
 public:
  OutboxDispatcher(GenericDatabase& outbox, AsyncSerialComm& channel, SmsSender& sender,
                   ServiceState& state);

  // Queues the ids of the records already in the outbox, in key order (start-up).
  void loadQueue();
  void append(const std::u16string& id);
  // Stores every message in the outbox with one save and queues their ids, in order; when the
  // save fails none of them stays (the caller keeps its copy and tries again later).
  std::optional<std::vector<std::u16string>> queueAll(
      const std::vector<const GenericMessage*>& messages);

  // Hands the next message to the sender unless a pause runs, the channel is not idle or a
  // message is still in flight.
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
  // flight; false when it is, or when the save fails (the record then stays).
  bool removeQueued(const std::u16string& id);

  std::size_t queuedCount() const;
  // Told of each message just before it goes to the sender (set before the service starts).
  void setOnHandOut(std::function<void(const GenericMessage&)> onHandOut);
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

  struct InFlight {
    std::u16string recordId;
    std::int32_t uniqueid = 0;
  };

  GenericDatabase& outbox_;
  AsyncSerialComm& channel_;
  SmsSender& sender_;
  ServiceState& state_;

  std::function<void(const GenericMessage&)> onHandOut_;
  mutable std::mutex mutex_;
  std::deque<std::u16string> queue_;
  std::optional<InFlight> inFlight_;
  std::condition_variable settled_;
  bool stopping_ = false;
  std::vector<GenericDatabase*> unsaved_;
};

}  // namespace parlane
