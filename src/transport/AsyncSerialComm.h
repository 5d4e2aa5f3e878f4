#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "core/util/Clock.h"
#include "transport/ChannelStatus.h"
#include "transport/ReceiveBuffer.h"
#include "transport/ReplyParser.h"
#include "transport/ReplyQueue.h"
#include "transport/ReplySink.h"
#include "transport/ReplySlot.h"

namespace parlane {

class SettingsStore;

// The one object through which the system talks to the modem: a tty opened exclusively in raw
// mode, written by the engine's threads and read by one reading thread that frames and sorts the
// modem's lines into the six reply queues. Port operations return a flag and leave errno in
// lastError(); any port failure sets the status Error. The emulator is a subclass.
class AsyncSerialComm : private ReplySink {
 public:
  // open() with an empty port name fails with this code (the "port is not set" case).
  static constexpr int kPortNotSet = 22;  // EINVAL
  static constexpr int kDefaultReplyTimeoutMs = 10000;

  explicit AsyncSerialComm(const SettingsStore& settings, const Clock& clock = Clock::system());
  // Stops and joins the thread, closes the port.
  virtual ~AsyncSerialComm();
  AsyncSerialComm(const AsyncSerialComm&) = delete;
  AsyncSerialComm& operator=(const AsyncSerialComm&) = delete;

  // Stops and joins a running thread, then starts the reading thread: byte by byte when
  // "serial.byte_by_byte" is nonzero. The thread sleeps until the port is open.
  virtual void startThread();
  // Sets the stop flag and wakes the thread (and waitReady); joinThread waits for its end.
  void requestStop();
  void joinThread();
  bool stopRequested() const { return stop_.load(); }

  // Opens the port ("port.use_prefix"/"port.prefix", see PortPath.h) exclusively and in raw mode,
  // purges it, clears the reply queues and wakes the reading thread. Does not change the status
  // unless it fails (Error).
  virtual bool open(std::u16string_view portName);
  // Purges and closes the port, logs "Serial port closed", status Closed. Always true.
  virtual bool close();
  // Line settings: parity 0..4 none, odd, even, mark, space; stop bits 0, 1, 2 = one, one and a
  // half (two), two; bit 0 of parityCheck turns input parity checking on.
  virtual bool configure(std::uint32_t baudRate, std::uint8_t parity, std::uint8_t byteSize,
                         std::uint8_t stopBits, std::uint8_t parityCheck);
  // The five port time-outs in ms. Kept; the write ones bound how long a write may wait for the
  // port, the read ones set the tty's VTIME (termios has nothing finer).
  virtual bool setTimeouts(std::uint32_t writeMultiplier, std::uint32_t writeConstant,
                           std::uint32_t readInterval, std::uint32_t readMultiplier,
                           std::uint32_t readConstant);
  // Writes a command line (the caller adds "\r\n"): logs "Sent: %s" (a PIN masked), empties the
  // receive buffer, writes, and delivers a kind-1 event to Written once all bytes are out.
  virtual bool sendCommand(std::string_view bytes);
  // Writes the bytes as uppercase hexadecimal text followed by Ctrl-Z.
  virtual bool sendHexBody(std::string_view bytes);
  // Writes a message body after the prompt, followed by Ctrl-Z; the kind-1 event carries the body.
  virtual bool sendBody(std::string_view bytes);
  virtual bool sendRaw(std::u16string_view, std::u16string_view) { return true; }
  // Blocks until the port is open (or stop is requested).
  void waitReady();

  ChannelStatus getStatus() const;
  bool isActive() const { return getStatus() != ChannelStatus::Closed; }
  // Logs "Status: N" and stamps the status time.
  void setStatus(ChannelStatus status);
  // Wall-clock seconds of the last status change.
  std::time_t statusTime() const;

  // The reply time-out (ms): inactivity limit while a reply is awaited, and base of the busy
  // watchdog. A value of 0 or less is ignored: it would fail every command at once.
  void setReplyTimeout(int milliseconds);
  int replyTimeout() const { return replyTimeoutMs_.load(); }

  // Attaches `queue` (or null) to slot 0..5 and returns the queue attached before; any other
  // index changes nothing and returns null. Once it returns, nothing is delivered to the queue
  // attached before.
  ReplyQueue* setHandler(ReplyQueue* queue, int slot);
  ReplyQueue* setHandler(ReplyQueue* queue, ReplySlot slot) {
    return setHandler(queue, static_cast<int>(slot));
  }

  // While set, a reply time-out delivers a kind-4 "timeout" event to Failure (once, and the flag
  // is cleared). The time-out runs from the last write or from this call; only the lines of a
  // listing or a read (what the pending command asked for) restart it, never unsolicited or
  // vendor status lines, which some modems print every second.
  void setAwaitingReply(bool awaiting);
  // The same with a limit of its own for this wait instead of the reply time-out (the result of
  // a send, which a busy network may take tens of seconds to give).
  void awaitReplyWithin(int milliseconds);
  bool isAwaitingReply() const;

  // The memory slot the command now written reads (-1: none) and the deletes written before it:
  // every line delivered until they are changed carries them.
  void setAnsweredSlot(int memoryIndex, std::uint64_t deletesWritten) {
    answeredSlot_.store(memoryIndex);
    deletesWritten_.store(deletesWritten);
  }

  // Purges the port both ways and clears every attached reply queue.
  void clearPending();
  // Clears the queues of the replies to commands, not the receiver's: a new-message notice that
  // waits there must still be read. The port is left alone, as unread bytes may carry one too.
  void clearCommandReplies();
  // The busy watchdog: a Busy status older than five reply time-outs (whole seconds) is logged
  // as "Status BUSY for a long time, resetting" and becomes Idle. True when it did so.
  bool checkBusy();

  int lastError() const { return lastError_.load(); }
  std::string portPath() const;

  // Called on the reading thread when the port failed under it (unplugged device and the like),
  // after the status became Error; the window shows its error tip from it.
  void setPortFailureListener(std::function<void(int errnum)> listener);

  // Makes the reading thread look at the clock again; a test moving a ManualClock calls it from
  // the clock's setOnAdvance callback.
  void wakeForClock();

 protected:
  const SettingsStore& settings() const { return settings_; }
  const Clock& clock() const { return clock_; }
  void setLastError(int errnum) { lastError_.store(errnum); }
  // An event for `slot`, dropped when no queue is attached.
  void deliverTo(ReplySlot slot, std::unique_ptr<AsyncEvent> event);
  // Appends bytes to the receive buffer and runs the reply parser on it.
  void appendReceived(std::string_view bytes);
  // The ready event: set while the port is open.
  void setReady(bool ready);
  bool isReady() const;
  // Status without the log line and without a new status time (the emulator's close).
  void storeStatus(ChannelStatus status);
  // Starts `body` as the channel's thread, stopping and joining a running one first.
  void launchThread(std::function<void()> body);
  // Wakes whatever the thread waits on; subclasses add their own queues.
  virtual void wakeThread();

 private:
  // ReplySink
  bool accepts(ReplySlot slot) const override;
  void deliver(ReplySlot slot, std::unique_ptr<AsyncEvent> event) override;

  void readerLoop(bool byteByByte);
  int watchPort(int fd, bool byteByByte);
  int readBurst(int fd, bool byteByByte);
  std::int64_t replyTimeRemaining();
  void portFailed(int fd, int error);
  // Closes the port (fd, or whatever is open for -1) once writers and the reading thread have
  // let go of it.
  void releasePort(int fd);
  int writeAll(std::string_view bytes);
  bool failWrite(int error);
  void signalWake();
  void drainWake();
  void noteActivity();

  const SettingsStore& settings_;
  const Clock& clock_;

  std::atomic<bool> stop_{false};
  std::thread thread_;

  // The lock of the status word, its time, the awaiting-reply flag and the ready event.
  mutable std::mutex stateMutex_;
  std::condition_variable readyCondition_;
  ChannelStatus status_ = ChannelStatus::Closed;
  std::int64_t statusMs_ = 0;
  std::time_t statusWall_ = 0;
  bool awaitingReply_ = false;
  bool ready_ = false;

  std::atomic<int> replyTimeoutMs_{kDefaultReplyTimeoutMs};
  // The limit of the wait in hand when it has one of its own, else 0.
  std::atomic<int> awaitLimitMs_{0};
  std::atomic<std::int64_t> lastActivityMs_{0};
  std::atomic<int> lastError_{0};
  std::atomic<int> answeredSlot_{-1};
  std::atomic<std::uint64_t> deletesWritten_{0};
  std::array<std::atomic<ReplyQueue*>, kReplySlotCount> handlers_{};
  // Held while a queue is swapped and while one is pushed to or cleared, so that a queue detached
  // by setHandler is never touched again and its owner may destroy it at once.
  std::mutex handlerMutex_;

  // The port: its descriptor changes only under portMutex_, and is closed only once the reading
  // thread has let go of it (readerHoldsPort_), so the thread never reads a recycled descriptor.
  mutable std::mutex portMutex_;
  std::condition_variable portCondition_;
  int fd_ = -1;
  std::string portPath_;
  bool readerHoldsPort_ = false;
  std::atomic<std::thread::id> readerThread_{};
  struct Timeouts {
    std::uint32_t writeMultiplier = 0;
    std::uint32_t writeConstant = 0;
    std::uint32_t readInterval = 0;
    std::uint32_t readMultiplier = 0;
    std::uint32_t readConstant = 0;
  } timeouts_;
  // Writers hold writeMutex_ for a whole write; close() cancels a write stuck on a full port
  // through cancelFd_.
  std::mutex writeMutex_;
  int wakeFd_ = -1;
  int cancelFd_ = -1;

  // Shared by the reading thread (append and parse) and sendCommand (empty).
  std::mutex bufferMutex_;
  ReceiveBuffer buffer_;
  ReplyParser parser_;

  std::mutex listenerMutex_;
  std::function<void(int)> failureListener_;
};

}  // namespace parlane
