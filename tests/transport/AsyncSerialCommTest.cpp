#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <string>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/Clock.h"
#include "core/util/Utf.h"
#include "support/ScriptedModem.h"
#include "support/TempDir.h"
#include "transport/AsyncSerialComm.h"

namespace parlane {
namespace {

using std::chrono::milliseconds;
using S = ReplySlot;

constexpr auto kLimit = std::chrono::seconds(5);
// How long a check that something does NOT arrive gives the reading thread.
constexpr auto kGrace = milliseconds(50);

// A channel on a scripted modem: the sender's queue on every slot but Written and Unsolicited,
// the receiver's on Unsolicited. The log goes to a file the tests can read.
class ChannelTest : public ::testing::Test {
 protected:
  explicit ChannelTest(const Clock& clock = Clock::system()) : clock_(clock) {
    logger_ = std::make_unique<Logger>(dir_.file("log.txt"));
    Logger::setGlobal(logger_.get());
  }
  ~ChannelTest() override {
    channel_.reset();
    Logger::setGlobal(nullptr);
  }

  AsyncSerialComm& channel() {
    if (!channel_) {
      channel_ = std::make_unique<AsyncSerialComm>(settings_, clock_);
      for (S slot : {S::Ok, S::Prompt, S::Failure, S::Information}) {
        channel_->setHandler(&sender_, slot);
      }
      channel_->setHandler(&receiver_, S::Unsolicited);
    }
    return *channel_;
  }

  // Opens the modem's port and starts the reading thread.
  void connect() {
    ASSERT_TRUE(channel().open(port())) << channel().lastError();
    channel().setStatus(ChannelStatus::Idle);
    channel().startThread();
  }

  std::unique_ptr<AsyncEvent> next(ReplyQueue& queue) {
    auto event = queue.popWithin(kLimit);
    EXPECT_NE(event, nullptr) << "no event within the limit";
    return event;
  }
  // The next event must be of this kind and text.
  void expectNext(ReplyQueue& queue, int kind, const std::u16string& text, int code = 0) {
    auto event = next(queue);
    if (!event) return;
    EXPECT_EQ(event->kind, kind);
    EXPECT_EQ(event->text, text);
    EXPECT_EQ(event->code, code);
  }
  void expectNothing(ReplyQueue& queue) { EXPECT_EQ(queue.popWithin(kGrace), nullptr); }

  std::string log() const { return dir_.read("log.txt"); }
  std::u16string port() const { return fromUtf8(modem_.portPath()); }

  const Clock& clock_;
  test::TempDir dir_;
  SettingsStore settings_;
  std::unique_ptr<Logger> logger_;
  test::ScriptedModem modem_;
  ReplyQueue sender_;
  ReplyQueue receiver_;
  ReplyQueue failures_;
  ReplyQueue written_;
  std::unique_ptr<AsyncSerialComm> channel_;
};

TEST_F(ChannelTest, LineSplitAcrossReadsGivesOneOk) {
  connect();
  ASSERT_TRUE(channel().sendCommand("AT\r\n"));
  ASSERT_TRUE(modem_.waitForCommands(1));
  modem_.sendAndWaitRead("O");
  expectNothing(sender_);
  modem_.send("K\r\n");
  expectNext(sender_, AsyncEvent::kOk, u"OK");
  expectNothing(sender_);
}

TEST_F(ChannelTest, PromptArrivesAtOnceAndTheSpaceStays) {
  modem_.setEcho(true);
  modem_.on("AT+CMGS=23", "\r\n> ");
  connect();
  ASSERT_TRUE(channel().sendCommand("AT+CMGS=23\r\n"));
  expectNext(sender_, AsyncEvent::kInformation, u"AT+CMGS=23");  // the echo
  expectNext(sender_, AsyncEvent::kPrompt, u">");
  modem_.send("\r\n+CMGS: 7\r\n\r\nOK\r\n");
  expectNext(sender_, AsyncEvent::kInformation, u" ");
  expectNext(sender_, AsyncEvent::kInformation, u"+CMGS: 7");
  expectNext(sender_, AsyncEvent::kOk, u"OK");
}

TEST_F(ChannelTest, ListingGoesToTheReceiverInOrder) {
  modem_.on("AT+CMGL=4",
            "\r\n+CMGL: 1,0,,23\r\n07911326040000F0040B911346610089F60000208062917314080CC8F71D14"
            "969741F977FD07\r\n+CMGL: 2,1,,22\r\n07911326040000F0040B91134661\r\n\r\nOK\r\n");
  connect();
  ASSERT_TRUE(channel().sendCommand("AT+CMGL=4\r\n"));
  expectNext(sender_, AsyncEvent::kOk, u"OK");
  expectNext(receiver_, AsyncEvent::kInformation, u"+CMGL: 1,0,,23");
  expectNext(receiver_, AsyncEvent::kInformation,
             u"07911326040000F0040B911346610089F60000208062917314080CC8F71D14969741F977FD07");
  expectNext(receiver_, AsyncEvent::kInformation, u"+CMGL: 2,1,,22");
  expectNext(receiver_, AsyncEvent::kInformation, u"07911326040000F0040B91134661");
  expectNothing(receiver_);
}

TEST_F(ChannelTest, NewMessageNoticeReachesTheReceiverWhileACommandIsPending) {
  modem_.on("AT+CSQ", "\r\n+CMTI: \"SM\",3\r\n+CSQ: 20,0\r\n\r\nOK\r\n");
  connect();
  channel().setAwaitingReply(true);
  ASSERT_TRUE(channel().sendCommand("AT+CSQ\r\n"));
  expectNext(receiver_, AsyncEvent::kMessageIndex, u"+CMTI: \"SM\",3");
  expectNext(sender_, AsyncEvent::kInformation, u"+CSQ: 20,0");
  expectNext(sender_, AsyncEvent::kOk, u"OK");
}

TEST_F(ChannelTest, ModemErrorsCarryTheirCodesAndTexts) {
  modem_.on("AT+CPIN?", "\r\n+CME ERROR: 10\r\n");
  modem_.on("AT+CMGS=12", "\r\n+CMS ERROR: 330\r\n");
  modem_.on("AT+CUSD=1", "\r\n+CME ERROR: SM BL not ready\r\n");
  modem_.on("ATX", "\r\nERROR\r\n");
  connect();
  channel().sendCommand("AT+CPIN?\r\n");
  expectNext(sender_, AsyncEvent::kCodedError, u"SIM not inserted", 10);
  channel().sendCommand("AT+CMGS=12\r\n");
  expectNext(sender_, AsyncEvent::kCodedError, u"SMSC address unknown", 330);
  channel().sendCommand("AT+CUSD=1\r\n");
  expectNext(sender_, AsyncEvent::kCodedError, u"SM BL not ready", 100);
  channel().sendCommand("ATX\r\n");
  expectNext(sender_, AsyncEvent::kError, u"ERROR", 100);
}

TEST_F(ChannelTest, WriteDeliversExactlyOneWrittenEvent) {
  ReplyQueue& written = written_;
  channel().setHandler(&written, S::Written);
  connect();
  ASSERT_TRUE(channel().sendCommand("AT\r\n"));
  expectNext(written, AsyncEvent::kWritten, u"");
  ASSERT_TRUE(channel().sendHexBody(std::string("\x00\x11\xAB", 3)));
  auto event = next(written);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(event->text, u"0011AB");
  EXPECT_EQ(event->raw, "0011AB");
  expectNothing(written);
  ASSERT_TRUE(modem_.waitForCommands(2));
  EXPECT_EQ(modem_.received(), "AT\r\n0011AB\x1A");
}

TEST_F(ChannelTest, PinIsHiddenInTheTrafficLogOnly) {
  modem_.on("AT+CPIN=4711", "\r\nOK\r\n");
  connect();
  ASSERT_TRUE(channel().sendCommand("AT+CPIN=4711\r\n"));
  expectNext(sender_, AsyncEvent::kOk, u"OK");
  ASSERT_TRUE(modem_.waitForCommands(1));
  EXPECT_EQ(modem_.commands().front(), "AT+CPIN=4711");
  EXPECT_NE(log().find("Sent: AT+CPIN=****"), std::string::npos) << log();
  EXPECT_EQ(log().find("4711"), std::string::npos);
}

TEST_F(ChannelTest, StatusLineAndCloseOfANeverOpenedChannel) {
  EXPECT_EQ(channel().getStatus(), ChannelStatus::Closed);
  EXPECT_FALSE(channel().isActive());
  EXPECT_TRUE(channel().close());
  EXPECT_EQ(channel().getStatus(), ChannelStatus::Closed);
  channel().setStatus(ChannelStatus::Busy);
  EXPECT_TRUE(channel().isActive());
  EXPECT_NE(log().find("Serial port closed"), std::string::npos);
  EXPECT_NE(log().find("Status: 3"), std::string::npos);
}

TEST_F(ChannelTest, HandlerSlotsOutsideTheSixChangeNothing) {
  ReplyQueue other;
  EXPECT_EQ(channel().setHandler(&other, 6), nullptr);
  EXPECT_EQ(channel().setHandler(&other, -1), nullptr);
  EXPECT_EQ(channel().setHandler(&other, 1), &sender_);
  EXPECT_EQ(channel().setHandler(nullptr, S::Ok), &other);
}

TEST_F(ChannelTest, ClearPendingEmptiesEveryQueue) {
  sender_.push(std::make_unique<AsyncEvent>(AsyncEvent::kOk, 0, u"OK", "OK"));
  receiver_.push(std::make_unique<AsyncEvent>(AsyncEvent::kInformation, 0, u"x", "x"));
  channel().clearPending();
  EXPECT_EQ(sender_.size(), 0u);
  EXPECT_EQ(receiver_.size(), 0u);
}

TEST_F(ChannelTest, PortPathRulesAndOpenFailures) {
  settings_.setInt("port.use_prefix", 1);
  settings_.setString("port.prefix", u"/nonexistent-dir/");
  EXPECT_FALSE(channel().open(u"modem"));
  EXPECT_EQ(channel().lastError(), ENOENT);
  EXPECT_EQ(channel().getStatus(), ChannelStatus::Error);

  EXPECT_FALSE(channel().open(u""));
  EXPECT_EQ(channel().lastError(), AsyncSerialComm::kPortNotSet);

  // A name that begins with "/" stands as it is, prefix or not.
  ASSERT_TRUE(channel().open(port()));
  EXPECT_EQ(channel().portPath(), modem_.portPath());
  EXPECT_EQ(channel().lastError(), 0);

  // The prefix put before a plain name.
  const std::string folder = modem_.portPath().substr(0, modem_.portPath().rfind('/') + 1);
  settings_.setString("port.prefix", std::u16string(folder.begin(), folder.end()));
  ASSERT_TRUE(channel().open(u"modem")) << channel().lastError();
  EXPECT_EQ(channel().portPath(), modem_.portPath());
}

TEST_F(ChannelTest, SecondOpenOfAPortInUseFails) {
  connect();
  AsyncSerialComm second(settings_);
  EXPECT_FALSE(second.open(port()));
  EXPECT_EQ(second.lastError(), EBUSY);
  EXPECT_EQ(second.getStatus(), ChannelStatus::Error);
  // Once the first lets go, the port can be had.
  channel().close();
  EXPECT_TRUE(second.open(port())) << second.lastError();
}

TEST_F(ChannelTest, ConfigureAndTimeoutsOnAPseudoTerminal) {
  EXPECT_FALSE(channel().configure(115200, 0, 8, 0, 0)) << "not open";
  EXPECT_EQ(channel().lastError(), EBADF);
  connect();
  EXPECT_TRUE(channel().configure(115200, 2, 7, 2, 1)) << channel().lastError();
  EXPECT_TRUE(channel().setTimeouts(10, 1000, 50, 10, 500));
  EXPECT_FALSE(channel().configure(12345, 0, 8, 0, 0));
  EXPECT_EQ(channel().lastError(), EINVAL);
  EXPECT_EQ(channel().getStatus(), ChannelStatus::Error);
}

TEST_F(ChannelTest, UnpluggedPortGivesErrorAndANewOpenWorks) {
  ReplyQueue& failures = failures_;
  channel().setHandler(&failures, S::Failure);
  std::atomic<int> reported{0};
  channel().setPortFailureListener([&reported](int error) { reported.store(error); });
  modem_.on("AT", "\r\nOK\r\n");
  connect();
  modem_.unplug();
  auto event = next(failures);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(event->kind, AsyncEvent::kCodedError);
  EXPECT_EQ(event->code, EIO);
  EXPECT_EQ(event->text, u"Input/output error");
  EXPECT_EQ(channel().getStatus(), ChannelStatus::Error);
  EXPECT_EQ(reported, EIO);
  EXPECT_FALSE(channel().sendCommand("AT\r\n"));
  EXPECT_NE(channel().lastError(), 0);

  modem_.plugBack();
  ASSERT_TRUE(channel().open(port())) << channel().lastError();
  channel().setStatus(ChannelStatus::Idle);
  ASSERT_TRUE(channel().sendCommand("AT\r\n"));
  expectNext(sender_, AsyncEvent::kOk, u"OK");
}

TEST_F(ChannelTest, CloseWhileTheThreadWatchesThePortAndOpenAgain) {
  modem_.on("AT", "\r\nOK\r\n");
  connect();
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(channel().close());
    EXPECT_EQ(channel().getStatus(), ChannelStatus::Closed);
    ASSERT_TRUE(channel().open(port()));
    channel().setStatus(ChannelStatus::Idle);
    ASSERT_TRUE(channel().sendCommand("AT\r\n"));
    expectNext(sender_, AsyncEvent::kOk, u"OK");
  }
}

TEST_F(ChannelTest, ByteByByteVariantGivesTheSameEvents) {
  settings_.setInt("serial.byte_by_byte", 1);
  modem_.setSplitBytes(true);
  modem_.on("AT+CSQ", "\r\n+CSQ: 31,0\r\n\r\nOK\r\n");
  modem_.on("AT+CMGS=9", "\r\n> ");
  connect();
  ASSERT_TRUE(channel().sendCommand("AT+CSQ\r\n"));
  expectNext(sender_, AsyncEvent::kInformation, u"+CSQ: 31,0");
  expectNext(sender_, AsyncEvent::kOk, u"OK");
  ASSERT_TRUE(channel().sendCommand("AT+CMGS=9\r\n"));
  expectNext(sender_, AsyncEvent::kPrompt, u">");
}

TEST_F(ChannelTest, BadInputNeverStopsTheChannel) {
  modem_.on("AT", "\r\nOK\r\n");
  connect();
  modem_.send(std::string("\x00\x00\xff\xfe\xc3\x28 > \x1b[0m\r\n", 14));
  modem_.send(std::string(70'000, 'Z'));  // no line end at all
  modem_.send("\r\n+CMTI: \"SM\",9\r\n");
  expectNext(receiver_, AsyncEvent::kMessageIndex, u"+CMTI: \"SM\",9");
  sender_.clear();
  ASSERT_TRUE(channel().sendCommand("AT\r\n"));
  expectNext(sender_, AsyncEvent::kOk, u"OK");
}

// Channels whose time is a manual clock.
class ChannelClockTest : public ChannelTest {
 protected:
  ChannelClockTest() : ChannelTest(manual_) {
    manual_.setOnAdvance([this] {
      if (channel_) channel_->wakeForClock();
    });
  }
  ~ChannelClockTest() override {
    manual_.setOnAdvance(nullptr);
    channel_.reset();  // its thread reads the clock
  }

  ManualClock manual_{1'000'000};
};

TEST_F(ChannelClockTest, ReplyTimeOutOnlyWhileAReplyIsAwaited) {
  ReplyQueue& failures = failures_;
  channel().setHandler(&failures, S::Failure);
  channel().setReplyTimeout(10'000);
  modem_.setSilent(true);
  connect();
  ASSERT_TRUE(channel().sendCommand("AT+CSQ\r\n"));
  manual_.advance(60'000);
  expectNothing(failures);

  channel().setAwaitingReply(true);
  manual_.advance(9'999);
  expectNothing(failures);
  manual_.advance(1);
  expectNext(failures, AsyncEvent::kError, u"timeout");
  EXPECT_FALSE(channel().isAwaitingReply());
  manual_.advance(60'000);
  expectNothing(failures);
}

TEST_F(ChannelClockTest, EveryArrivalRestartsTheReplyTimeOut) {
  ReplyQueue& failures = failures_;
  channel().setHandler(&failures, S::Failure);
  connect();
  channel().setAwaitingReply(true);
  manual_.advance(9'000);
  modem_.send("+CMGL: 1,0,,23\r\n");
  expectNext(receiver_, AsyncEvent::kInformation, u"+CMGL: 1,0,,23");
  manual_.advance(9'000);
  expectNothing(failures);
  manual_.advance(1'000);
  expectNext(failures, AsyncEvent::kError, u"timeout");
}

// Lines that answer no command: some modems print a status line every second.
struct UnrelatedLineCase {
  const char* name;
  std::string bytes;
};

void PrintTo(const UnrelatedLineCase& c, std::ostream* os) { *os << c.name; }

class UnrelatedLineTest : public ChannelClockTest,
                          public ::testing::WithParamInterface<UnrelatedLineCase> {};

TEST_P(UnrelatedLineTest, NeverPutsOffTheReplyTimeOut) {
  ReplyQueue& failures = failures_;
  channel().setHandler(&failures, S::Failure);
  channel().setReplyTimeout(10'000);
  connect();
  channel().setAwaitingReply(true);
  for (int second = 1; second < 10; ++second) {
    manual_.advance(1'000);
    modem_.sendAndWaitRead(GetParam().bytes);
  }
  expectNothing(failures);
  manual_.advance(1'000);
  expectNext(failures, AsyncEvent::kError, u"timeout");
}

INSTANTIATE_TEST_SUITE_P(ChannelClockTest, UnrelatedLineTest,
                         ::testing::Values(UnrelatedLineCase{"VendorSignal", "\r\n^RSSI:5\r\n"},
                                           UnrelatedLineCase{"Ring", "\r\nRING\r\n"},
                                           UnrelatedLineCase{"Registration", "\r\n+CREG: 1\r\n"},
                                           UnrelatedLineCase{"NewMessage",
                                                             "\r\n+CMTI: \"SM\",3\r\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ChannelClockTest, AWaitWithALimitOfItsOwnEndsThere) {
  ReplyQueue& failures = failures_;
  channel().setHandler(&failures, S::Failure);
  channel().setReplyTimeout(10'000);
  connect();
  channel().awaitReplyWithin(60'000);
  manual_.advance(59'999);
  expectNothing(failures);
  manual_.advance(1);
  expectNext(failures, AsyncEvent::kError, u"timeout");
  // The next wait has the reply time-out again.
  channel().setAwaitingReply(true);
  manual_.advance(10'000);
  expectNext(failures, AsyncEvent::kError, u"timeout");
}

TEST_F(ChannelClockTest, ReplyAfterItsWaitEndedIsHarmless) {
  ReplyQueue& failures = failures_;
  channel().setHandler(&failures, S::Failure);
  modem_.on("AT", "\r\nOK\r\n");
  connect();
  channel().setAwaitingReply(true);
  ASSERT_TRUE(channel().sendCommand("AT+CMGL=4\r\n"));
  manual_.advance(10'000);
  expectNext(failures, AsyncEvent::kError, u"timeout");
  modem_.send("\r\n+CMGL: 1,0,,23\r\n0791\r\nOK\r\n");
  expectNext(sender_, AsyncEvent::kOk, u"OK");
  // The next command is answered as usual.
  ASSERT_TRUE(channel().sendCommand("AT\r\n"));
  expectNext(sender_, AsyncEvent::kOk, u"OK");
}

TEST_F(ChannelClockTest, BusyWatchdogAfterFiveReplyTimeOuts) {
  channel().setStatus(ChannelStatus::Busy);
  manual_.advance(50'000);
  EXPECT_FALSE(channel().checkBusy());
  EXPECT_EQ(channel().getStatus(), ChannelStatus::Busy);
  manual_.advance(1'000);
  EXPECT_TRUE(channel().checkBusy());
  EXPECT_EQ(channel().getStatus(), ChannelStatus::Idle);
  EXPECT_NE(log().find("Status BUSY for a long time, resetting"), std::string::npos);
  EXPECT_FALSE(channel().checkBusy());

  // Five times a shorter time-out; an Idle status is never touched.
  channel().setReplyTimeout(2'000);
  channel().setStatus(ChannelStatus::Busy);
  manual_.advance(10'999);
  EXPECT_FALSE(channel().checkBusy());
  manual_.advance(1);
  EXPECT_TRUE(channel().checkBusy());
  manual_.advance(100'000);
  EXPECT_FALSE(channel().checkBusy());
  // A time-out of 0 or less is refused.
  channel().setReplyTimeout(0);
  EXPECT_EQ(channel().replyTimeout(), 2'000);
}

}  // namespace
}  // namespace parlane
