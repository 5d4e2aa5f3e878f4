#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"
#include "engine/EngineRecorder.h"
#include "engine/SmsSender.h"
#include "engine/UssdReply.h"
#include "message/SMSMessage.h"
#include "message/USSDRequest.h"
#include "transport/AsyncSerialEmulator.h"

namespace parlane::test {
namespace {

using std::chrono::milliseconds;

// The sender against the built-in modem emulator, its pauses shortened.
class SmsSenderEmulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    emulator_.setHandler(&unsolicited_, ReplySlot::Unsolicited);
    emulator_.startThread();
    ASSERT_TRUE(emulator_.open(u"emulator"));
    emulator_.setStatus(ChannelStatus::Idle);
    sender_.setSink(&recorder_);
    sender_.setWindow(&recorder_);
    sender_.start();
  }
  void TearDown() override {
    sender_.stop();
    sender_.join();
    emulator_.requestStop();
    emulator_.joinThread();
  }

  SettingsStore settings_;
  AsyncSerialEmulator emulator_{settings_, Clock::system(), milliseconds(0), milliseconds(1)};
  ReplyQueue unsolicited_;
  EngineRecorder recorder_;
  SmsSender sender_{emulator_, settings_};
};

TEST_F(SmsSenderEmulatorTest, PduMessagesGetReferencesOneTwoThree) {
  for (int i = 0; i < 3; ++i) {
    sender_.enqueue(std::make_unique<SMSMessage>(u"", u"+491701234567", u"Hello"));
  }
  for (int i = 1; i <= 3; ++i) {
    const EngineRecorder::Record record = recorder_.waitFor(notice::kHandled, i);
    ASSERT_TRUE(record.message) << i;
    EXPECT_EQ(record.flag, 1);
    EXPECT_EQ(record.message->refid, i);
  }
}

TEST_F(SmsSenderEmulatorTest, TextModeBodyIsRefusedByTheEmulator) {
  settings_.setInt("sender.send_mode", 1);
  sender_.enqueue(std::make_unique<SMSMessage>(u"", u"+491701234567", u"Hello"));
  const EngineRecorder::Record record = recorder_.waitFor(notice::kHandled);
  ASSERT_TRUE(record.message);
  EXPECT_EQ(record.flag, 0);
  EXPECT_EQ(sender_.lastError(), u"ERROR");
}

TEST_F(SmsSenderEmulatorTest, UssdRequestIsSentAndItsReplyDecoded) {
  sender_.enqueue(std::make_unique<USSDRequest>(u"", u"", u"*100#"));
  const EngineRecorder::Record record = recorder_.waitFor(notice::kHandled);
  ASSERT_TRUE(record.message);
  EXPECT_EQ(record.flag, 1);
  // The network's answer and the new-message notice come on the receiver's slot.
  std::unique_ptr<AsyncEvent> reply = unsolicited_.popWithin(milliseconds(5000));
  ASSERT_TRUE(reply);
  EXPECT_EQ(decodeUssdReply(reply->text, 0), u"Your current balance is $ 22.10");
  std::unique_ptr<AsyncEvent> notice = unsolicited_.popWithin(milliseconds(5000));
  ASSERT_TRUE(notice);
  EXPECT_EQ(notice->kind, AsyncEvent::kMessageIndex);
  EXPECT_EQ(toUtf8(notice->text), "+CMTI: \"SM\",5");
}

}  // namespace
}  // namespace parlane::test
