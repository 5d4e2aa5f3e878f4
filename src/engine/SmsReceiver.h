#pragma once

#include <atomic>
#include <ctime>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "core/util/Clock.h"
#include "engine/CommandQueue.h"
#include "engine/FragmentStore.h"
#include "engine/HeldNotices.h"
#include "gsm/ReceivedPdu.h"
#include "transport/ReplyQueue.h"

namespace parlane {

class AsyncEvent;
class AsyncSerialComm;
class EngineSink;
class GenericMessage;
class MainWindowLink;
class ModemInitializer;
class SettingsStore;
class SmsSender;

// Reads what the modem says on its own (new-message and status-report notices, messages read
// from its memory, USSD replies) on a thread of its own: pairs each header line with the body
// line after it, decodes the body, joins the parts of long messages, drops duplicate parts and
// hands every complete message on (1026, or 1029 for a memory listing). Reads and deletes it
// needs are queued on the sending thread; it writes to the port only to close a stray prompt.
class SmsReceiver {
 public:
  // What the next body line is.
  enum Expect : int {
    kDirectMessage = 0,   // +CMT
    kIndexedMessage = 1,  // read after +CMTI
    kReadMessage = 2,     // "AT+CMGR="
    kListedMessage = 3,   // an "AT+CMGL=" listing
    kDirectReport = 4,    // +CDS
    kIndexedReport = 5,   // read after +CDSI
  };
  // Waiting parts older than this are deleted from the modem in delete mode 1.
  static constexpr std::time_t kStalePartSeconds = 43200;
  // "receiver.parts_timeout" when the configuration has no such key.
  static constexpr int kDefaultPartsTimeout = 86400;

  // Attaches its reply queue to the channel's Unsolicited slot.
  SmsReceiver(AsyncSerialComm& channel, CommandQueue& sender, const SettingsStore& settings,
              const Clock& clock = Clock::system());
  SmsReceiver(AsyncSerialComm& channel, SmsSender& sender, const SettingsStore& settings,
              const Clock& clock = Clock::system());
  // Stops and joins the thread and lets go of the slot.
  ~SmsReceiver();
  SmsReceiver(const SmsReceiver&) = delete;
  SmsReceiver& operator=(const SmsReceiver&) = delete;

  // Set before start(). Null sink or window: the notices are dropped.
  void setSink(EngineSink* sink);
  void setWindow(MainWindowLink* window);
  // Whose memory names tell the storage in use; without one no storage is ever selected.
  void setInitializer(ModemInitializer* initializer);

  // Where the parts that wait for the rest of their message are kept across restarts (rewritten
  // whenever they change); reads back what the file holds. Set before start(); empty: nowhere.
  void setPartsFile(std::string path);
  // Messages whose first part arrived "receiver.parts_timeout" seconds ago or more (0: never;
  // absent: kDefaultPartsTimeout) are handed on as they are, each missing part shown as "[...]".
  // The receiving thread runs it whenever it wakes, and wakes for it; a test may call it while
  // the thread is not running.
  void expireParts();

  void start();
  void stop();
  void join();

  // One event of the Unsolicited slot. The receiving thread calls it; a test may while the
  // thread is not running.
  void handle(const AsyncEvent& event);
  // One decoded part: a duplicate is dropped (and the copy held deleted from the modem),
  // otherwise it is stored and every message it completes is handed on.
  void processPdu(ReceivedPdu part, int expect);

  // The initialization has ended: the new-message and report notices that came while it ran are
  // handled now (on the receiving thread). Any thread.
  void releaseHeldNotices();

  // A reply the sending thread got, handed to the sink (with notice::kReplyInLineOrder) on the
  // receiving thread once every line the modem sent before it is handled: the end of a listing
  // never overtakes the messages the listing found. Any thread.
  void passOnInLineOrder(int code, int flag, std::unique_ptr<AsyncEvent> reply);

  // The storage selection for the initializer's memory names; null when there is none.
  std::unique_ptr<ATCommandMessage> storageSelection() const;

  int expect() const { return expect_; }
  int index() const { return index_; }
  std::size_t waitingParts() const { return fragments_.size(); }

 private:
  void run();
  bool textMode() const;
  void onHeader(const AsyncEvent& event, bool report);
  void onIndex(const AsyncEvent& event, bool report);
  void onLine(const AsyncEvent& event);
  void onBody(const AsyncEvent& event);
  void queue(std::unique_ptr<ATCommandMessage> command);
  void notifyMessage(std::unique_ptr<GenericMessage> message, int expect);
  void post(int code);
  void saveParts();
  // Waiting parts the parts file holds are safe: their slots are freed, so that a long message
  // can't fill the modem memory (any delete mode but "never").
  void freeSavedSlots();
  int partsTimeout() const;
  // When the waiting part that arrived first times out, on the clock's monotonic scale.
  std::optional<std::int64_t> partsDeadlineMs() const;

  AsyncSerialComm& channel_;
  std::unique_ptr<CommandQueue> ownedSender_;
  CommandQueue& sender_;
  const SettingsStore& settings_;
  const Clock& clock_;

  std::atomic<EngineSink*> sink_{nullptr};
  std::atomic<MainWindowLink*> window_{nullptr};
  std::atomic<ModemInitializer*> initializer_{nullptr};

  ReplyQueue replies_;
  std::atomic<bool> stop_{false};
  std::thread thread_;

  // Receiving state: the receiving thread's alone.
  int expect_ = kDirectMessage;
  int index_ = -1;
  std::uint64_t readAt_ = 0;  // the read stamp of the slot in index_
  std::u16string originator_;
  std::time_t timestamp_ = 0;
  // Storage indexes that a listing named unread ("REC UNREAD", status 0); a message found there
  // is handed on with flag 1.
  std::set<int> unreadListed_;
  FragmentStore fragments_;
  HeldNotices heldNotices_;
  std::string partsFile_;
  bool partsSaveFailed_ = false;
};

}  // namespace parlane
