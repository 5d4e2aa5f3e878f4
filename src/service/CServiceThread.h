#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/EngineSink.h"
#include "service/OutboxSubmission.h"
#include "service/ScheduledActions.h"
#include "service/ServiceItem.h"
#include "service/ServiceParts.h"
#include "service/ServiceState.h"

namespace parlane {

class ModemInitializer;
class PoolReturn;
class ServiceMetrics;
class ServiceScheduler;
struct ServiceCore;

// Keeps the gateway running: a worker with a queue of {code, flag, payload} items. The engine
// (and the emulator's "SEND" scene) push results into it; it connects the modem and feeds the
// initializer, runs the polling cycle, files send results (retries, "failed", error counter),
// processes incoming messages and reports, and dispatches the outbox one message at a time. The
// scheduler's actions that touch that work (the polling step, the end of a polling cycle, the end
// of a send pause, a dispatch) are posted to it as items. The thread sleeps on its queue.
//
// Constructing it hooks it to the sender, the receiver and the emulator as their sink, to the
// channel's port-failure listener and to the scheduler as its actions; destroying it unhooks it.
// Shut-down stops and joins the scheduler and the channel's thread before destroying it.
class CServiceThread : public EngineSink, private ScheduledActions {
 public:
  explicit CServiceThread(const ServiceParts& parts);
  ~CServiceThread() override;
  CServiceThread(const CServiceThread&) = delete;
  CServiceThread& operator=(const CServiceThread&) = delete;

  // EngineSink: the engine's results and the emulator's "SEND" scene. Any thread.
  void notify(int code, int flag, std::unique_ptr<GenericMessage> payload) override;
  void notifyReply(int code, int flag, std::unique_ptr<AsyncEvent> reply) override;
  void push(ServiceItem item);

  // Menu command 32769: queues the connect request (1033). Any thread.
  void requestConnect();
  // Menu command 32773: removes timers 6 and 10, stops the engine's exchange and closes the
  // port; the title shows "disconnected" (or "error" when closing fails); the service thread
  // then forgets the listing in progress. Window thread.
  void disconnect();

  // The one way into the outbox, for the send dialogs, the control panel and the spool: checks
  // (and rewrites) each recipient, stores the messages that pass with one save of the outbox,
  // queues their ids and asks for dispatch. A message is taken only once the outbox file holds
  // it; what was refused comes back with the reason, and the caller keeps it. Any thread.
  SubmitResult submit(std::vector<std::unique_ptr<GenericMessage>> messages,
                      SubmitBatch batch = SubmitBatch::EachOnItsOwn);
  // Asks the service thread to hand the next queued outbox message to the sender (when the
  // channel is idle, no pause runs and no message is in the sender's hands). At most one such
  // request waits in the queue. Any thread.
  void dispatchNext();
  // Outbox ids waiting to be sent (the one in flight not included).
  std::size_t queuedOutgoing() const;

  // Counters of sent, failed, received and reported messages and the send latency; what became
  // of messages with an id of their own. Any thread.
  ServiceMetrics& metrics();
  ServiceState& state();
  const ServiceState& state() const;
  // The modem's model, signal and features once connected (main screen, control panel).
  ModemInitializer& initializer();
  // The timers (the control panel applies new periods at once).
  ServiceScheduler& scheduler();

  // The control panel's memory page. Lists every message in the modem memory `memory` (the
  // current one when empty); what it finds goes to the window's memory list. The listing starts
  // on the service thread; while a polling cycle or the listing after connecting holds the
  // memory, it waits for its end (the latest request wins). False when the modem is not
  // connected or the same listing is on its way already. Any thread.
  bool readModemMemory(const std::u16string& memory);
  // Deletes messages from the modem memory by index, or all of them.
  void deleteFromModem(const std::vector<int>& indexes);
  void deleteAllFromModem();

  // Before start(): this instance shares the pool folder `folder` with others. The messages it
  // took from there go back when its modem stays away longer than "spool.pool_return" seconds.
  void enablePool(const std::string& folder, int instance);
  // Before start(): told after each send result and at each change of the connection (the
  // outbox may take more from the pool). Service thread, or the thread that changes the state.
  void setOutboxWatch(std::function<void()> watch);
  // Taking from the pool: the connection is made and the outbox holds fewer than
  // "spool.pool_batch" messages; how many more it takes. Any thread.
  std::size_t poolRoom() const;

  // Fills the outbox id queue from the outbox (key order), adds the scheduler entries of the
  // window's start (1 polling, 7 status file, 9 watchdog) and starts the thread.
  void start();
  // Shut-down's first step: hands the sender nothing more and waits for the result of the
  // message in flight, at most the send time-out, so that the next start never sends it again.
  void finishSending();
  // Asks the thread to end after the item in hand; join waits for it.
  void stop();
  void join();

 private:
  // ScheduledActions: runs on the scheduler thread; dispatch and the state the service thread
  // owns are left to that thread (posted items).
  bool runScheduled(int id) override;

  void run();
  void handle(ServiceItem& item);
  // Times the modem's absence for the pool's return. Any thread.
  void onConnectionState(ConnectionState state);
  std::int64_t poolReturnMs() const;
  void givePoolBackWhenDue();
  // `unread`: the listing named the message unread.
  void handleFound(std::unique_ptr<GenericMessage> message, bool unread);
  // Starts the control panel's listing when the memory is free; false when it is not.
  bool startPanelListing(const std::u16string& memory);
  // The panel's listing that waits for the memory, once the item in hand has freed it.
  void startWaitingPanelListing();

  std::mutex panelMutex_;
  std::optional<std::u16string> waitingPanelListing_;

  std::unique_ptr<ServiceCore> core_;
  std::unique_ptr<PoolReturn> poolReturn_;
  std::function<void()> outboxWatch_;
  // Since when the modem is away (the clock's ms); -1 while connected.
  std::atomic<std::int64_t> awaySinceMs_{-1};

  std::mutex queueMutex_;
  std::condition_variable queueCondition_;
  std::deque<ServiceItem> queue_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace parlane
