#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"
#include "engine/ModemInitializer.h"
#include "engine/ReceiverTestSupport.h"
#include "engine/SmsReceiver.h"
#include "engine/SmsSender.h"
#include "transport/AsyncSerialComm.h"
#include "transport/AsyncSerialEmulator.h"
#include "transport/ChannelStatus.h"

namespace parlane::test {

// The engine as start-up builds it, on the emulator or on a port: channel, sending thread,
// receiving thread and the initializer, with a recording sink in place of the service thread.
// connect() plays the connection manager: every 1027 reply goes to the initializer until it has
// finished.
class EngineRig {
 public:
  // The emulator with its pauses shortened to a millisecond.
  EngineRig() : EngineRig(std::string()) {}
  explicit EngineRig(std::string portPath) : port_(std::move(portPath)) {
    settings.setString("modem.init", u"ATZ");
    if (port_.empty()) {
      channel = std::make_unique<AsyncSerialEmulator>(
          settings, Clock::system(), std::chrono::milliseconds(1), std::chrono::milliseconds(1));
    } else {
      channel = std::make_unique<AsyncSerialComm>(settings);
    }
    sender = std::make_unique<SmsSender>(*channel, settings);
    receiver = std::make_unique<SmsReceiver>(*channel, *sender, settings);
    init = std::make_unique<ModemInitializer>(*sender, settings, &notifier);
    sink.forwardRepliesTo(&replies);
    sender->setSink(&sink);
    receiver->setSink(&sink);
    receiver->setInitializer(init.get());
    channel->startThread();
    sender->start();
    receiver->start();
  }
  // As shut-down does: the channel's thread ends first, so nothing is delivered to a reply queue
  // while its owner goes.
  ~EngineRig() {
    channel->requestStop();
    channel->joinThread();
    receiver.reset();
    sender.reset();
    channel->close();
  }

  // Opens the port and runs the initialization; false when a reply did not come in time.
  bool connect(int useFeatures, std::uint32_t checks) {
    if (!channel->open(fromUtf8(port_))) return false;
    channel->setStatus(ChannelStatus::Configuring);
    sender->clear();
    init->reset(useFeatures, checks);
    init->step(AsyncEvent(AsyncEvent::kOk, 0, u"OK", "OK"));
    while (!init->isFinished()) {
      std::unique_ptr<AsyncEvent> reply = replies.popWithin(std::chrono::seconds(5));
      if (!reply) return false;
      init->step(*reply);
    }
    channel->setStatus(ChannelStatus::Idle);
    return true;
  }

  // Waits for the receiving thread to have handed over the USSD test response, which travels
  // apart from the other replies.
  bool waitForFeatures(std::uint32_t bits) const {
    for (int i = 0; i < 5000; ++i) {
      if ((init->features() & bits) == bits) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }

  LogCapture log;
  SettingsStore settings;
  RecordingEngineSink sink;
  RecordingNotifier notifier;
  ReplyQueue replies;
  std::unique_ptr<AsyncSerialComm> channel;
  std::unique_ptr<SmsSender> sender;
  std::unique_ptr<SmsReceiver> receiver;
  std::unique_ptr<ModemInitializer> init;

 private:
  std::string port_;
};

}  // namespace parlane::test
