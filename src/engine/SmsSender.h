#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

#include "core/util/Clock.h"
#include "engine/SlotDeletes.h"
#include "message/ATCommandMessage.h"
#include "message/GenericMessage.h"
#include "transport/ReplyQueue.h"

namespace parlane {

class AsyncSerialComm;
class EngineSink;
class MainWindowLink;
class SettingsStore;
class SMSMessage;
class USSDRequest;

// The only writer to the modem. Commands, short messages, WAP Push messages and USSD requests
// are queued here and handled one at a time on the sending thread: written, their replies awaited
// and passed on (1027), and the outcome of a message reported (1028). The thread sleeps on its
// queue and on its reply queue.
class SmsSender {
 public:
  SmsSender(AsyncSerialComm& channel, const SettingsStore& settings,
            const Clock& clock = Clock::system());
  // Stops and joins the thread.
  ~SmsSender();
  SmsSender(const SmsSender&) = delete;
  SmsSender& operator=(const SmsSender&) = delete;

  // Where the notifications go; set before start(). Null drops them.
  void setSink(EngineSink* sink);
  void setWindow(MainWindowLink* window);

  // Appends; the sender owns the message from now on. Any thread.
  void enqueue(std::unique_ptr<GenericMessage> message);
  // A command line; a text without its "\r\n" gets one when it is written.
  void enqueue(std::unique_ptr<ATCommandMessage> command);
  // Destroys every queued message and command (a connection starts).
  void clear();
  // Whether a command with exactly this text waits in the queue.
  bool isQueued(std::u16string_view commandText) const;
  std::size_t queuedCount() const;

  // The text of the last failure: the reason a failed message is reported with.
  std::u16string lastError() const;
  void setLastError(std::u16string_view text);

  // Ends the wait in progress (or the next one of the message in hand) as a failure.
  void cancelWait();

  void start();
  // Asks the thread to end (it finishes the exchange in hand only as far as a wait allows).
  void stop();
  void join();

  // Short messages handed to the modem successfully since start.
  int sentCount() const { return sentCount_.load(); }

 private:
  using Job = std::variant<std::unique_ptr<ATCommandMessage>, std::unique_ptr<GenericMessage>>;
  enum class Wait { kPrompt, kResult, kCommand };
  // How a wait, or a whole message, ended; a failure always says why.
  struct WaitResult {
    bool ok = false;
    int value = 0;
    bool cancelled = false;
    // Ended by the reply time-out (the modem said nothing in time).
    bool timedOut = false;
    std::u16string reason;
    // The information lines of a plain command.
    std::vector<std::u16string> lines;
  };

  void run();
  // Waits until a job is queued, the channel is open and active; null when stopping.
  std::unique_ptr<Job> nextJob();
  void dispatch(Job& job);

  void attachReplies();
  // A message whose send result did not come in time: a result that comes before it is tried
  // again is its result.
  void rememberGivenUp(const GenericMessage& message, int segments);
  // A "+CMGS:" or "+CMSS:" line no send waits for, taken for the message given up last: reported
  // sent when it was not tried again, else logged as a possible duplicate. False for any other.
  bool takeLateResult(const AsyncEvent& event);
  // The OK after a late result line; true when `event` is it.
  bool isLateOk(const AsyncEvent& event);
  // Whether the message was reported sent by a late result: this attempt is dropped.
  bool settledLate(const GenericMessage& message);
  void drainReplies();
  WaitResult wait(Wait kind);

  void runCommand(const ATCommandMessage& command);
  // Notes a delete about to be written; false when it must be left out (see SlotDeletes).
  bool admitDelete(const ATCommandMessage& command);
  WaitResult runInlineCommand(const std::string& line);
  // Whether the modem lists UCS2 in "AT+CSCS=?"; asked once per connection.
  bool offersUcs2();
  // Writes charsetRestore_.
  void restoreCharset();
  void sendPdu(GenericMessage& message);
  void sendText(GenericMessage& message);
  void sendUssd(const USSDRequest& request);
  WaitResult sendFromMemory(GenericMessage& message, const std::vector<int>& storageIndexes);
  void freeStorage(const std::vector<int>& storageIndexes);
  void finishMessage(GenericMessage& message, const WaitResult& outcome, int segments);
  WaitResult writeFailure();
  // The limit of the wait for the result of a send ("sender.send_timeout", seconds).
  int sendTimeoutMs() const;
  // The lines of a text-mode body the modem will echo, when it echoed the command.
  void expectBodyEcho(std::string_view body);
  bool isBodyEcho(const AsyncEvent& event);

  bool write(const std::string& line);
  bool writeHexBody(const std::string& octets);
  bool writeBody(const std::string& bytes);
  bool isEcho(const AsyncEvent& event) const;
  // A pause that stop() and cancelWait() cut short; false when cut short.
  bool pause(std::int64_t milliseconds);

  void notifyReply(int flag, std::unique_ptr<AsyncEvent> event);
  void notifyMessage(int code, int flag, std::unique_ptr<GenericMessage> message);
  void post(int code);

  AsyncSerialComm& channel_;
  const SettingsStore& settings_;
  const Clock& clock_;

  std::atomic<EngineSink*> sink_{nullptr};
  std::atomic<MainWindowLink*> window_{nullptr};

  mutable std::mutex queueMutex_;
  std::condition_variable queueCondition_;
  std::deque<Job> queue_;

  std::atomic<bool> stop_{false};
  std::atomic<bool> cancelled_{false};
  std::thread thread_;
  std::atomic<int> sentCount_{0};
  // -1: not asked yet on this connection; else whether "AT+CSCS=?" lists UCS2.
  std::atomic<int> ucs2Offered_{-1};
  // The commands that give the modem back the character set and coding it had before a UCS2
  // text; kept until they have been written (a send cut short leaves them for the next text).
  std::vector<std::string> charsetRestore_;

  mutable std::mutex errorMutex_;
  std::u16string lastError_;

  ReplyQueue replies_;
  SlotDeletes slotDeletes_;
  // Set while the command in hand reads the modem memory; its replies say so (sending thread).
  bool readingMemory_ = false;
  // What was written last (command without its line end, or the body text): its echo is dropped.
  std::string lastWritten_;
  // Whether the modem echoed the command of the exchange in hand.
  bool echoSeen_ = false;
  // Echoed body lines still to come, in order: never results, whatever they say.
  std::deque<std::string> bodyEcho_;
  // The message given up last for want of a result, and whether it was tried again since.
  std::unique_ptr<GenericMessage> givenUp_;
  bool givenUpRetried_ = false;
  // Messages reported sent by a late result whose retry may still come.
  std::vector<std::int32_t> settledLate_;
  bool lateOk_ = false;
};

}  // namespace parlane
