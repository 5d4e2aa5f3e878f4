#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>

#include "transport/AsyncSerialComm.h"
#include "transport/NotificationSink.h"

namespace parlane {

// A channel without a port: every command and body written is queued, and the emulator's thread
// answers each one, in order, from a fixed table of a plausible modem (20 SIM slots, PDU and text
// mode, model "Emulator") by feeding the reply through the reply parser. It also plays two
// scenes: a USSD request gets a balance text and a new-message notice, and a PDU whose text is
// "SEND <number> <words>" comes back as a message from that number (to the notification sink).
class AsyncSerialEmulator : public AsyncSerialComm {
 public:
  AsyncSerialEmulator(const SettingsStore& settings, const Clock& clock = Clock::system(),
                      std::chrono::milliseconds replyPause = std::chrono::milliseconds(200),
                      std::chrono::milliseconds sendPause = std::chrono::milliseconds(2000));
  ~AsyncSerialEmulator() override;

  void startThread() override;
  // Never fail; open and close only wake or park the thread.
  bool open(std::u16string_view portName) override;
  bool close() override;
  bool configure(std::uint32_t, std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t) override {
    return true;
  }
  bool setTimeouts(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                   std::uint32_t) override {
    return true;
  }
  bool sendCommand(std::string_view bytes) override;
  // Lowercase hexadecimal, then sendBody.
  bool sendHexBody(std::string_view bytes) override;
  bool sendBody(std::string_view bytes) override;

  // Receives {1026, 0, message} from the "SEND" scene; null drops it.
  void setNotificationSink(NotificationSink* sink);
  // The reference the next "+CMGS: " reply reports.
  int nextMessageReference() const { return reference_.load(); }

 protected:
  void wakeThread() override;

 private:
  void run();
  // Waits `pause` on the clock; false when stop was requested meanwhile.
  bool pause(std::chrono::milliseconds pause);
  void playSendScene(const std::string& body);

  const std::chrono::milliseconds replyPause_;
  const std::chrono::milliseconds sendPause_;
  BlockingQueue<std::string> commands_;
  std::atomic<int> reference_{1};
  std::mutex pauseMutex_;
  std::condition_variable pauseCondition_;
  std::mutex sinkMutex_;
  NotificationSink* sink_ = nullptr;
};

}  // namespace parlane
