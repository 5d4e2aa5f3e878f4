#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/settings/SettingsStore.h"
#include "gsm/PduEncoder.h"
#include "message/SMSMessage.h"
#include "transport/AsyncSerialEmulator.h"
#include "transport/EmulatorReplies.h"

namespace parlane {
namespace {

using std::chrono::milliseconds;
using S = ReplySlot;

struct RuleCase {
  const char* command;
  int rule;
  const char* reply;
};

// Every row of the table, in order of precedence: a command that two rows could take goes to the
// earlier one.
TEST(EmulatorReplyTest, TableRowsInOrder) {
  const RuleCase cases[] = {
      {"ATZ\r\n", 1, "OK\r\n"},
      {"ATZ", 22, "ERROR\r\n"},
      {"AT+CSMS=?\r\n", 2, "+CSMS: (0,1,128)\r\nOK\r\n"},
      {"AT+CMGF=?\r\n", 3, "+CMGF: (0-1)\r\nOK\r\n"},
      {"AT+CNMI=?\r\n", 4, "+CNMI: (0-3),(0-3),(0,2,3),(0-1),(0)\r\nOK\r\n"},
      {"AT+CMEE=?\r\n", 5, "+CMEE: (0-2)\r\nOK\r\n"},
      {"AT+CMGD=?\r\n", 6, "+CMGD: (1-20)\r\nOK\r\n"},
      {"AT+CPMS?\r\n", 7, "+CPMS: \"SM\",0,20,\"SM\",0,20,\"SM\",0,20\r\nOK\r\n"},
      {"AT+CUSD=?\r\n", 8, "+CUSD: (0)\r\nOK\r\n"},
      {"AT+CGMM\r\n", 9, "Emulator\r\nOK\r\n"},
      {"AT+CSQ\r\n", 10, "+CSQ: 31,0\r\nOK\r\n"},
      {"AT+CSQ?\r\n", 22, "ERROR\r\n"},
      {"AT+CMEE=1\r\n", 11, "OK\r\n"},
      {"AT+CMEE=?", 11, "OK\r\n"},
      {"AT+CNMI=2,1,0,2,0\r\n", 12, "OK\r\n"},
      {"AT+CMGF=0\r\n", 13, "OK\r\n"},
      {"AT+CPIN=1234\r\n", 14, "OK\r\n"},
      {"AT+CMGS=23\r\n", 15, ">"},
      {"AT+CMGL=1\r\n", 16, "OK\r\n"},
      {"AT+CMGL=0\r\n", 17, "OK\r\n"},
      {"AT+CMGL=4\r\n", 17, "OK\r\n"},
      {"AT+CMGL=\"ALL\"\r\n", 17, "OK\r\n"},
      {"AT+CMGD=3,0\r\n", 18, "OK\r\n"},
      {"0011000B91\x1A", 19, "+CMGS: 7\r\nOK\r\n"},
      {"AT+CUSD=1,\"*100#\",15\r\n", 20,
       "+CUSD: 2,\"Your current balance is $ 22.10\",15\r\nOK\r\n+CMTI: \"SM\",5\r\n"},
      {"AT+CMGR=5\r\n", 21,
       "+CMGR: 0,,33\r\nOK\r\n07919711029099F3040B919711827424F20008902171021050210E0410041C0030"
       "0035003500340038\r\n"},
      {"Hello\x1A", 22, "ERROR\r\n"},
      {"at+csq\r\n", 22, "ERROR\r\n"},
      {"", 22, "ERROR\r\n"},
  };
  for (const RuleCase& c : cases) {
    SCOPED_TRACE(c.command);
    const EmulatorReply reply = EmulatorReply::choose(c.command, "ATZ\r\n", 7);
    EXPECT_EQ(reply.rule, c.rule);
    EXPECT_EQ(reply.bytes, c.reply);
    EXPECT_EQ(reply.longPause, c.rule == 19 || c.rule == 20);
    EXPECT_EQ(reply.messageSent, c.rule == 19);
  }
}

class RecordingSink : public NotificationSink {
 public:
  void notify(int code, int flag, std::unique_ptr<GenericMessage> payload) override {
    std::lock_guard guard(mutex);
    codes.push_back(code);
    flags.push_back(flag);
    messages.push_back(std::move(payload));
    changed.notify_all();
  }
  bool waitFor(std::size_t count) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(5),
                            [&] { return messages.size() >= count; });
  }
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<int> codes;
  std::vector<int> flags;
  std::vector<std::unique_ptr<GenericMessage>> messages;
};

class EmulatorTest : public ::testing::Test {
 protected:
  EmulatorTest() {
    settings_.setString("modem.init", u"ATZ");
    for (S slot : {S::Ok, S::Prompt, S::Failure, S::Information}) {
      emulator_.setHandler(&sender_, slot);
    }
    emulator_.setHandler(&receiver_, S::Unsolicited);
    emulator_.setHandler(&written_, S::Written);
    emulator_.setNotificationSink(&sink_);
    emulator_.startThread();
    EXPECT_TRUE(emulator_.open(u"ignored"));
  }

  void expectNext(ReplyQueue& queue, int kind, const std::u16string& text) {
    auto event = queue.popWithin(std::chrono::seconds(5));
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(event->kind, kind);
    EXPECT_EQ(event->text, text);
  }

  // The PDU of an SMS-SUBMIT with this text, as the sender writes it after the prompt.
  static std::string submitUnit(const std::u16string& text) {
    SMSMessage message(u"", u"+31612345678", text, 1);
    const auto units = PduEncoder(PduEncoderOptions{}).encodeTextSubmit(message);
    EXPECT_EQ(units.size(), 1u);
    return std::string(units.front().begin(), units.front().end());
  }

  SettingsStore settings_;
  RecordingSink sink_;
  ReplyQueue sender_;
  ReplyQueue receiver_;
  ReplyQueue written_;
  // Pauses shortened from 200 ms and 2000 ms. Declared last: its thread stops first.
  AsyncSerialEmulator emulator_{settings_, Clock::system(), milliseconds(1), milliseconds(2)};
};

TEST_F(EmulatorTest, AnswersThroughTheParserInOrder) {
  emulator_.sendCommand("ATZ\r\n");
  emulator_.sendCommand("AT+CGMM\r\n");
  emulator_.sendCommand("AT+CSQ?\r\n");
  expectNext(written_, AsyncEvent::kWritten, u"");
  expectNext(sender_, AsyncEvent::kOk, u"OK");
  expectNext(sender_, AsyncEvent::kInformation, u"Emulator");
  expectNext(sender_, AsyncEvent::kOk, u"OK");
  expectNext(sender_, AsyncEvent::kError, u"ERROR");
}

TEST_F(EmulatorTest, MessagesGetReferencesOneTwoThree) {
  for (int reference = 1; reference <= 3; ++reference) {
    emulator_.sendCommand("AT+CMGS=18\r\n");
    expectNext(sender_, AsyncEvent::kPrompt, u">");
    emulator_.sendHexBody(submitUnit(u"hello"));
    expectNext(sender_, AsyncEvent::kInformation,
               u"+CMGS: " + std::u16string(1, static_cast<char16_t>(u'0' + reference)));
    expectNext(sender_, AsyncEvent::kOk, u"OK");
  }
  EXPECT_EQ(emulator_.nextMessageReference(), 4);
  // A text-mode body is refused.
  emulator_.sendBody("hello");
  expectNext(sender_, AsyncEvent::kError, u"ERROR");
}

TEST_F(EmulatorTest, UssdSceneAndTheStoredMessage) {
  emulator_.sendCommand("AT+CUSD=1,\"*100#\",15\r\n");
  expectNext(receiver_, AsyncEvent::kInformation,
             u"+CUSD: 2,\"Your current balance is $ 22.10\",15");
  expectNext(sender_, AsyncEvent::kOk, u"OK");
  expectNext(receiver_, AsyncEvent::kMessageIndex, u"+CMTI: \"SM\",5");
  emulator_.sendCommand("AT+CMGR=5\r\n");
  expectNext(receiver_, AsyncEvent::kInformation, u"+CMGR: 0,,33");
  expectNext(sender_, AsyncEvent::kOk, u"OK");
  expectNext(receiver_, AsyncEvent::kInformation,
             u"07919711029099F3040B919711827424F20008902171021050210E0410041C00300035003500340038");
}

TEST_F(EmulatorTest, SendSceneBringsTheWordsBackFromTheNumber) {
  emulator_.sendCommand("AT+CMGS=40\r\n");
  emulator_.sendHexBody(submitUnit(u"SEND +4917012345 see you at eight"));
  emulator_.sendCommand("AT+CMGS=20\r\n");
  emulator_.sendHexBody(submitUnit(u"SEND nobody"));  // no second space: nothing comes back
  emulator_.sendCommand("AT+CMGS=20\r\n");
  emulator_.sendHexBody(submitUnit(u"Send 123 lower case"));
  emulator_.sendCommand("AT+CMGS=20\r\n");
  emulator_.sendHexBody(submitUnit(u"SEND 555 \u00e9t\u00e9 \u20ac"));  // UCS2
  ASSERT_TRUE(sink_.waitFor(2));
  // The last body was answered after the scenes of all before it.
  for (int i = 0; i < 4; ++i) {
    auto event = sender_.popWithin(std::chrono::seconds(5));
    ASSERT_NE(event, nullptr);
    if (event->kind != AsyncEvent::kOk) --i;
  }
  std::lock_guard guard(sink_.mutex);
  ASSERT_EQ(sink_.messages.size(), 2u);
  EXPECT_EQ(sink_.codes, (std::vector<int>{1026, 1026}));
  EXPECT_EQ(sink_.flags, (std::vector<int>{0, 0}));
  EXPECT_EQ(sink_.messages[0]->getType(), 1);
  EXPECT_EQ(sink_.messages[0]->source, u"+4917012345");
  EXPECT_EQ(sink_.messages[0]->to, u"");
  EXPECT_EQ(sink_.messages[0]->content, u"see you at eight");
  EXPECT_EQ(sink_.messages[1]->source, u"555");
  EXPECT_EQ(sink_.messages[1]->content, u"\u00e9t\u00e9 \u20ac");
}

TEST_F(EmulatorTest, CloseParksTheThreadUntilTheNextOpen) {
  emulator_.close();
  EXPECT_EQ(emulator_.getStatus(), ChannelStatus::Closed);
  emulator_.sendCommand("AT+CSQ\r\n");
  EXPECT_EQ(sender_.popWithin(milliseconds(50)), nullptr);
  emulator_.open(u"x");
  expectNext(sender_, AsyncEvent::kInformation, u"+CSQ: 31,0");
  expectNext(sender_, AsyncEvent::kOk, u"OK");
}

}  // namespace
}  // namespace parlane
