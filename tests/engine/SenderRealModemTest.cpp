// The sender against what real modems and networks do: slow send results, status lines every
// second, text-mode bodies with line breaks and echo, results glued to the prompt.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/MemoryCommands.h"
#include "engine/ReceiverTestSupport.h"
#include "engine/SenderFixture.h"
#include "message/MessageFlags.h"

namespace parlane::test {
namespace {

using Strings = std::vector<std::string>;

bool isBody(const std::string& command) { return !command.empty() && !command.starts_with("AT"); }

std::size_t countStartingWith(const Strings& commands, const std::string& prefix) {
  std::size_t count = 0;
  for (const std::string& command : commands) count += command.starts_with(prefix) ? 1 : 0;
  return count;
}

// Time passes only when the test moves the clock.
class SenderClockTest : public SenderFixture {
 protected:
  SenderClockTest() : SenderFixture(manual_) {}
  void SetUp() override {
    SenderFixture::SetUp();
    manual_.setOnAdvance([this] { channel_->wakeForClock(); });
  }
  void TearDown() override {
    manual_.setOnAdvance(nullptr);
    SenderFixture::TearDown();
  }
  ManualClock manual_;
};

struct SlowResultCase {
  const char* name;
  int sendMode;            // "sender.send_mode": 0 PDU, 1 text
  int sendTimeoutSeconds;  // "sender.send_timeout"; 0: not set
  bool statusLines;        // the modem prints "^RSSI:5" every second while the network works
  int answerAfterSeconds;  // the result comes then; 0: never
  int failsAfterSeconds;   // when it never comes, the message fails then
};

void PrintTo(const SlowResultCase& c, std::ostream* os) { *os << c.name; }

class SlowSendResultTest : public SenderClockTest,
                           public ::testing::WithParamInterface<SlowResultCase> {};

TEST_P(SlowSendResultTest, ResultIsAwaitedForTheSendTimeOutFromTheBodyOn) {
  const SlowResultCase& c = GetParam();
  settings_.setInt("sender.send_mode", c.sendMode);
  if (c.sendTimeoutSeconds > 0) settings_.setInt("sender.send_timeout", c.sendTimeoutSeconds);
  channel_->setReplyTimeout(10'000);
  modem_.onPrefix("AT+CMGS=", "\r\n> ");
  // The body is taken; its result comes when the test says so.
  modem_.onCommand([](const std::string& command, std::string&) { return isBody(command); });
  sender_->enqueue(shortMessage());
  ASSERT_TRUE(modem_.waitForCommands(2));

  const int seconds = c.answerAfterSeconds > 0 ? c.answerAfterSeconds : c.failsAfterSeconds - 1;
  for (int second = 1; second <= seconds; ++second) {
    manual_.advance(1'000);
    if (c.statusLines) modem_.sendAndWaitRead("\r\n^RSSI:5\r\n");
  }
  EXPECT_FALSE(recorder_.waitFor(notice::kHandled, 1, 50).message) << "given up too early";
  if (c.answerAfterSeconds > 0) {
    modem_.send("\r\n+CMGS: 7\r\n\r\nOK\r\n");
    const EngineRecorder::Record record = handled();
    ASSERT_TRUE(record.message);
    EXPECT_EQ(record.flag, sendFlag::kSent);
    EXPECT_EQ(record.message->refid, 7);
  } else {
    // The body's write may have been stamped up to a second late.
    EngineRecorder::Record record;
    for (int step = 0; step < 2 && !record.message; ++step) {
      manual_.advance(1'000);
      record = recorder_.waitFor(notice::kHandled, 1, 2'000);
    }
    ASSERT_TRUE(record.message) << "never given up";
    EXPECT_EQ(record.flag, sendFlag::kFailed);
    EXPECT_EQ(record.message->failureReason, u"timeout");
  }
  EXPECT_EQ(countStartingWith(modem_.commands(), "AT+CMGS="), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    SenderRealModem, SlowSendResultTest,
    ::testing::Values(
        SlowResultCase{"PduResultAfterTwelveSeconds", 0, 0, false, 12, 0},
        SlowResultCase{"TextResultAfterFortySecondsAmidStatusLines", 1, 0, true, 40, 0},
        SlowResultCase{"StatusLinesEverySecondNeverHoldOffTheLimit", 0, 0, true, 0, 60},
        SlowResultCase{"LimitOfTheSetting", 1, 20, false, 0, 20}),
    [](const auto& info) { return std::string(info.param.name); });

struct LateResultCase {
  const char* name;
  bool afterTheRetry;  // the late result comes once the retry has been written
};

void PrintTo(const LateResultCase& c, std::ostream* os) { *os << c.name; }

class LateSendResultTest : public SenderClockTest,
                           public ::testing::WithParamInterface<LateResultCase> {};

TEST_P(LateSendResultTest, SettlesTheMessageGivenUpOrNamesThePossibleDuplicate) {
  LogCapture log;
  settings_.setInt("sender.send_timeout", 20);
  modem_.onPrefix("AT+CMGS=", "\r\n> ");
  modem_.onCommand([](const std::string& command, std::string&) { return isBody(command); });
  modem_.on("AT", "\r\nOK\r\n");
  std::unique_ptr<SMSMessage> message = shortMessage();
  // The retry as the outbox hands it over again: the same message, one attempt more.
  std::unique_ptr<GenericMessage> retry = message->clone();
  retry->attempts = 1;
  sender_->enqueue(std::move(message));
  ASSERT_TRUE(modem_.waitForCommands(2));
  EngineRecorder::Record givenUp;
  for (int step = 0; step < 30 && !givenUp.message; ++step) {
    manual_.advance(1'000);
    givenUp = recorder_.waitFor(notice::kHandled, 1, step < 19 ? 0 : 200);
  }
  ASSERT_TRUE(givenUp.message);
  ASSERT_EQ(givenUp.flag, sendFlag::kFailed);

  if (!GetParam().afterTheRetry) {
    modem_.sendAndWaitRead("\r\n+CMGS: 9\r\n\r\nOK\r\n");
    sender_->enqueue(std::move(retry));
    sender_->enqueue(std::make_unique<ATCommandMessage>(u"AT"));
    const EngineRecorder::Record late = handled(2);
    ASSERT_TRUE(late.message);
    EXPECT_EQ(late.flag, sendFlag::kSent);
    EXPECT_EQ(late.message->refid, 9);
    EXPECT_EQ(late.message->uniqueid, givenUp.message->uniqueid);
    // The retry is dropped: the next thing the modem gets is the command after it.
    const Strings sent = commands(3);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[2], "AT");
    EXPECT_TRUE(log.contains("was sent after all")) << log.text();
  } else {
    sender_->enqueue(std::move(retry));
    ASSERT_TRUE(modem_.waitForCommands(4));
    // The first attempt's result comes while the retry waits for its own.
    modem_.send("\r\n+CMGS: 9\r\n\r\nOK\r\n");
    EXPECT_EQ(handled(2).flag, sendFlag::kSent);
    modem_.sendAndWaitRead("\r\n+CMGS: 10\r\n\r\nOK\r\n");
    sender_->enqueue(std::make_unique<ATCommandMessage>(u"AT"));
    EXPECT_EQ(commands(5).back(), "AT");
    EXPECT_TRUE(log.contains("it may have been sent twice")) << log.text();
  }
  EXPECT_FALSE(recorder_.waitFor(notice::kHandled, 3, 50).message);
}

INSTANTIATE_TEST_SUITE_P(SenderRealModem, LateSendResultTest,
                         ::testing::Values(LateResultCase{"BeforeTheRetry", false},
                                           LateResultCase{"AfterTheRetry", true}),
                         [](const auto& info) { return std::string(info.param.name); });

class SenderRealModemTest : public SenderFixture {
 protected:
  // Text mode: a prompt for "AT+CMGS=" and "+CMGS: 4" for the body.
  void answerTextMode() {
    settings_.setInt("sender.send_mode", 1);
    modem_.onPrefix("AT+CMGS=", "\r\n> ");
    modem_.onCommand([](const std::string& command, std::string& reply) {
      if (!isBody(command)) return false;
      reply = "\r\n+CMGS: 4\r\n\r\nOK\r\n";
      return true;
    });
  }
};

struct TextBodyCase {
  const char* name;
  bool echo;
  std::u16string text;
  std::string body;  // as the modem takes it
};

void PrintTo(const TextBodyCase& c, std::ostream* os) { *os << c.name; }

class TextBodyTest : public SenderRealModemTest,
                     public ::testing::WithParamInterface<TextBodyCase> {};

TEST_P(TextBodyTest, IsSentOnceAndFiledWithTheModemsReference) {
  const TextBodyCase& c = GetParam();
  modem_.setEcho(c.echo);
  modem_.setBodyPrompts(true);
  answerTextMode();
  sender_->enqueue(shortMessage(c.text));
  const EngineRecorder::Record record = handled();
  ASSERT_TRUE(record.message);
  EXPECT_EQ(record.flag, sendFlag::kSent) << toUtf8(record.message->failureReason);
  EXPECT_EQ(record.message->refid, 4);
  const Strings sent = commands(2);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1], c.body);
}

INSTANTIATE_TEST_SUITE_P(
    SenderRealModem, TextBodyTest,
    ::testing::Values(
        TextBodyCase{"CrLfBecomesLf", false, u"line 1\r\nline 2", "line 1\nline 2"},
        TextBodyCase{"LoneCrBecomesLf", true, u"a\rb", "a\nb"},
        TextBodyCase{"EchoedErrorLine", true, u"Hi\nERROR\nthere", "Hi\nERROR\nthere"},
        TextBodyCase{"EchoedOkLine", true, u"Hi\nOK", "Hi\nOK"},
        TextBodyCase{"EchoedOkAlone", true, u"OK", "OK"},
        TextBodyCase{"EchoedPromptLikeLine", true, u"> quoted\nreply", "> quoted\nreply"},
        TextBodyCase{"EchoedModemErrorLine", true, u"+CMS ERROR: 500\nis what I got",
                     "+CMS ERROR: 500\nis what I got"}),
    [](const auto& info) { return std::string(info.param.name); });

struct GluedOkCase {
  const char* name;
  int sendMode;
};

void PrintTo(const GluedOkCase& c, std::ostream* os) { *os << c.name; }

class GluedOkTest : public SenderRealModemTest,
                    public ::testing::WithParamInterface<GluedOkCase> {};

// Some modems put "OK" straight after the prompt's blank, with no line break and no "+CMGS:".
TEST_P(GluedOkTest, OkRightAfterThePromptEndsTheSend) {
  settings_.setInt("sender.send_mode", GetParam().sendMode);
  modem_.onPrefix("AT+CMGS=", "\r\n> ");
  modem_.onCommand([](const std::string& command, std::string& reply) {
    if (!isBody(command)) return false;
    reply = "OK\r\n";
    return true;
  });
  sender_->enqueue(shortMessage());
  const EngineRecorder::Record record = handled();
  ASSERT_TRUE(record.message);
  EXPECT_EQ(record.flag, sendFlag::kSent);
  EXPECT_EQ(countStartingWith(modem_.commands(), "AT+CMGS="), 1u);
}

INSTANTIATE_TEST_SUITE_P(SenderRealModem, GluedOkTest,
                         ::testing::Values(GluedOkCase{"Pdu", 0}, GluedOkCase{"Text", 1}),
                         [](const auto& info) { return std::string(info.param.name); });

struct FailureReasonCase {
  const char* name;
  int sendMode;
  std::string bodyReply;
  std::u16string reason;
};

void PrintTo(const FailureReasonCase& c, std::ostream* os) { *os << c.name; }

class FailureReasonTest : public SenderRealModemTest,
                          public ::testing::WithParamInterface<FailureReasonCase> {};

// The reason goes with the result: the sender's last error is overwritten by the next failure.
TEST_P(FailureReasonTest, TravelsWithTheResult) {
  const FailureReasonCase& c = GetParam();
  settings_.setInt("sender.send_mode", c.sendMode);
  modem_.onPrefix("AT+CMGS=", "\r\n> ");
  modem_.onCommand([&c](const std::string& command, std::string& reply) {
    if (!isBody(command)) return false;
    reply = c.bodyReply;
    return true;
  });
  sender_->enqueue(shortMessage());
  const EngineRecorder::Record record = handled();
  ASSERT_TRUE(record.message);
  EXPECT_EQ(record.flag, sendFlag::kFailed);
  EXPECT_EQ(record.message->failureReason, c.reason);
}

INSTANTIATE_TEST_SUITE_P(
    SenderRealModem, FailureReasonTest,
    ::testing::Values(FailureReasonCase{"TextPromptForMoreText", 1, "\r\n> ",
                                        u"The modem asked for more text (unexpected \">\")"},
                      FailureReasonCase{"PduPromptForMoreText", 0, "\r\n> ",
                                        u"The modem asked for more text (unexpected \">\")"},
                      FailureReasonCase{"ModemError", 1, "\r\n+CMS ERROR: 330\r\n",
                                        u"SMSC address unknown"},
                      FailureReasonCase{"PlainError", 0, "\r\nERROR\r\n", u"ERROR"}),
    [](const auto& info) { return std::string(info.param.name); });

struct Ucs2Case {
  const char* name;
  std::string charsets;  // the modem's answer to "AT+CSCS=?"
  std::u16string text;
  Strings commands;  // what the modem gets, in order
  int flag;
  std::u16string reason;
  std::int32_t flags = 0;  // the message's
};

void PrintTo(const Ucs2Case& c, std::ostream* os) { *os << c.name; }

class TextModeUcs2Test : public SenderRealModemTest,
                         public ::testing::WithParamInterface<Ucs2Case> {};

TEST_P(TextModeUcs2Test, TextBeyondTheGsmAlphabetGoesAsUcs2OrNotAtAll) {
  const Ucs2Case& c = GetParam();
  modem_.on("AT+CSCS=?", "\r\n+CSCS: " + c.charsets + "\r\n\r\nOK\r\n");
  modem_.on("AT+CSCS?", "\r\n+CSCS: \"IRA\"\r\n\r\nOK\r\n");
  modem_.on("AT+CSMP?", "\r\n+CSMP: 17,167,0,0\r\n\r\nOK\r\n");
  modem_.onPrefix("AT+CSCS=", "\r\nOK\r\n");
  modem_.onPrefix("AT+CSMP=", "\r\nOK\r\n");
  answerTextMode();
  auto message = shortMessage(c.text);
  message->flags = c.flags;
  sender_->enqueue(std::move(message));
  const EngineRecorder::Record record = handled();
  ASSERT_TRUE(record.message);
  EXPECT_EQ(record.flag, c.flag);
  EXPECT_EQ(record.message->failureReason, c.reason);
  EXPECT_EQ(commands(c.commands.size()), c.commands);
}

INSTANTIATE_TEST_SUITE_P(
    SenderRealModem, TextModeUcs2Test,
    ::testing::Values(
        Ucs2Case{"Ucs2WhenTheModemOffersIt",
                 "(\"IRA\",\"GSM\",\"UCS2\")",
                 u"Grüße € Привет",
                 {"AT+CSCS=?", "AT+CSCS?", "AT+CSMP?", "AT+CSCS=\"UCS2\"", "AT+CSMP=17,167,0,8",
                  "AT+CMGS=\"002B003400390031003700300031003200330034003500360037\",145",
                  "0047007200FC00DF0065002020AC0020041F04400438043204350442", "AT+CSCS=\"IRA\"",
                  "AT+CSMP=17,167,0,0"},
                 sendFlag::kSent,
                 u""},
        Ucs2Case{"RefusedBeforeAnythingIsSentWhenItDoesNot",
                 "(\"IRA\",\"GSM\")",
                 u"Grüße € Привет",
                 {"AT+CSCS=?"},
                 sendFlag::kFailed,
                 u"The text needs UCS2, which the modem does not offer in text mode"},
        Ucs2Case{"AsciiTextAskedForInUcs2",
                 "(\"IRA\",\"GSM\",\"UCS2\")",
                 u"Hi",
                 {"AT+CSCS=?", "AT+CSCS?", "AT+CSMP?", "AT+CSCS=\"UCS2\"", "AT+CSMP=17,167,0,8",
                  "AT+CMGS=\"002B003400390031003700300031003200330034003500360037\",145",
                  "00480069", "AT+CSCS=\"IRA\"", "AT+CSMP=17,167,0,0"},
                 sendFlag::kSent,
                 u"",
                 messageFlags::kUcs2},
        Ucs2Case{"BinaryDataRefusedBeforeAnythingIsSent",
                 "(\"IRA\",\"GSM\",\"UCS2\")",
                 u"0102",
                 {},
                 sendFlag::kFailed,
                 u"A binary message can only be sent in PDU mode",
                 messageFlags::kBinary},
        Ucs2Case{"GsmTextKeepsItsTraffic",
                 "(\"IRA\",\"GSM\",\"UCS2\")",
                 u"Grüße {€}",
                 {"AT+CMGS=\"+491701234567\",145", "Grüße {€}"},
                 sendFlag::kSent,
                 u""}),
    [](const auto& info) { return std::string(info.param.name); });

// A UCS2 text cut short (the user disconnects while the network works) leaves the modem in UCS2:
// the next command of any kind, a read of a new message too, finds the old character set back.
TEST_F(SenderRealModemTest, CharsetOfATextCutShortIsGivenBackBeforeTheNextCommand) {
  settings_.setInt("sender.send_mode", 1);
  modem_.on("AT+CSCS=?", "\r\n+CSCS: (\"IRA\",\"UCS2\")\r\n\r\nOK\r\n");
  modem_.on("AT+CSCS?", "\r\n+CSCS: \"IRA\"\r\n\r\nOK\r\n");
  modem_.on("AT+CSMP?", "\r\n+CSMP: 17,167,0,0\r\n\r\nOK\r\n");
  modem_.onPrefix("AT+CSCS=", "\r\nOK\r\n");
  modem_.onPrefix("AT+CSMP=", "\r\nOK\r\n");
  modem_.onPrefix("AT+CMGS=", "\r\n> ");
  // The body is taken; no result comes.
  modem_.onCommand([](const std::string& command, std::string&) { return isBody(command); });
  sender_->enqueue(shortMessage(u"Привет"));
  ASSERT_TRUE(modem_.waitForCommands(7));
  sender_->cancelWait();
  EXPECT_EQ(handled().flag, sendFlag::kCancelled);
  modem_.on("AT+CMGR=1", "\r\nOK\r\n");
  sender_->enqueue(readMessageCommand(1));
  const Strings sent = commands(10);
  ASSERT_EQ(sent.size(), 10u);
  EXPECT_EQ(Strings(sent.begin() + 7, sent.end()),
            (Strings{"AT+CSCS=\"IRA\"", "AT+CSMP=17,167,0,0", "AT+CMGR=1"}));
}

}  // namespace
}  // namespace parlane::test
