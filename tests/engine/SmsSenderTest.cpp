#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/SenderFixture.h"
#include "gsm/SubmitPduText.h"
#include "message/PushMessage.h"
#include "message/StatusReport.h"
#include "message/USSDRequest.h"

namespace parlane::test {
namespace {

using Strings = std::vector<std::string>;

std::unique_ptr<ATCommandMessage> command(const std::u16string& text) {
  return std::make_unique<ATCommandMessage>(text);
}

class SmsSenderTest : public SenderFixture {};

TEST_F(SmsSenderTest, PostsItsStartToTheWindowFirst) {
  ASSERT_TRUE(recorder_.waitForPost(notice::kSenderStarted));
  EXPECT_EQ(recorder_.posts().front(), notice::kSenderStarted);
}

TEST_F(SmsSenderTest, PlainCommandRepliesAreNotifiedWithEchoOnAndOff) {
  modem_.on("ATZ", "\r\nOK\r\n");
  modem_.on("AT+CMEE=?", "\r\n+CMEE: (0-2)\r\n\r\nOK\r\n");
  modem_.on("AT+CSQ", "\r\n+CSQ: 31,0\r\n\r\nOK\r\n");
  modem_.on("AT+CGMM", "\r\nEmulator\r\n\r\nOK\r\n");
  const Strings expected = {"1:OK", "1:+CMEE: (0-2)", "1:OK", "1:+CSQ: 31,0",
                            "1:OK", "1:Emulator",     "1:OK"};
  Strings all;
  for (bool echo : {false, true}) {
    modem_.setEcho(echo);
    // A command without its line end gets one.
    for (const char16_t* text : {u"ATZ\r\n", u"AT+CMEE=?\r\n", u"AT+CSQ", u"AT+CGMM\r\n"}) {
      sender_->enqueue(command(text));
    }
    all.insert(all.end(), expected.begin(), expected.end());
    ASSERT_TRUE(recorder_.waitFor(notice::kReply, all.size()).reply) << "echo " << echo;
    EXPECT_EQ(recorder_.replies(), all) << "echo " << echo;
  }
  EXPECT_EQ(commands(8), (Strings{"ATZ", "AT+CMEE=?", "AT+CSQ", "AT+CGMM", "ATZ", "AT+CMEE=?",
                                  "AT+CSQ", "AT+CGMM"}));
}

TEST_F(SmsSenderTest, ErrorReplyEndsTheCommandAndBecomesTheLastError) {
  const struct {
    std::string reply;
    std::string text;
  } cases[] = {
      {"ERROR", "ERROR"},
      {"+CME ERROR: 10", "SIM not inserted"},
      {"+CMS ERROR: 500", "Unknown error"},
      {"+CME ERROR: SM BL not ready", "SM BL not ready"},
  };
  std::size_t count = 0;
  for (const auto& c : cases) {
    modem_.onPrefix("AT+CMGD=" + std::to_string(count), "\r\n" + c.reply + "\r\n");
    sender_->enqueue(command(u"AT+CMGD=" + fromUtf8(std::to_string(count)) + u"\r\n"));
    const EngineRecorder::Record record = recorder_.waitFor(notice::kReply, ++count);
    EXPECT_EQ(record.flag, 0) << c.reply;
    EXPECT_EQ(record.text(), c.text);
    EXPECT_EQ(toUtf8(sender_->lastError()), c.text);
  }
}

TEST_F(SmsSenderTest, PduMessageGetsTheModemsReference) {
  answerPduMode(7);
  auto message = shortMessage();
  const Strings expected = pduCommands(*message);
  sender_->enqueue(std::move(message));
  const EngineRecorder::Record record = handled();
  ASSERT_TRUE(record.message);
  EXPECT_EQ(record.flag, 1);
  EXPECT_EQ(record.message->refid, 7);
  EXPECT_EQ(record.message->segments, 1);
  EXPECT_EQ(record.message->content, u"Hello");
  EXPECT_EQ(commands(expected.size()), expected);
  EXPECT_EQ(sender_->sentCount(), 1);
  EXPECT_EQ(channel_->getStatus(), ChannelStatus::Idle);
  EXPECT_EQ(recorder_.replies(), (Strings{"1:+CMGS: 7", "1:OK"}));
}

TEST_F(SmsSenderTest, PduBodyEchoIsNotTakenForAReply) {
  modem_.setEcho(true);
  answerPduMode(3);
  sender_->enqueue(shortMessage(u"A long enough text to show an echo"));
  const EngineRecorder::Record record = handled();
  EXPECT_EQ(record.flag, 1);
  EXPECT_EQ(record.message->refid, 3);
  EXPECT_EQ(recorder_.replies(), (Strings{"1:+CMGS: 3", "1:OK"}));
}

TEST_F(SmsSenderTest, ReferenceRightAfterThePromptIsRead) {
  // No line end before the reference: the blank the prompt left behind leads its line.
  modem_.onPrefix("AT+CMGS=", "\r\n> ");
  modem_.onCommand([](const std::string& command, std::string& reply) {
    if (command.empty() || command[0] != '0') return false;
    reply = "+CMGS: 12\r\nOK\r\n";
    return true;
  });
  sender_->enqueue(shortMessage());
  EXPECT_EQ(handled().message->refid, 12);
}

TEST_F(SmsSenderTest, ConcatenatedMessageGoesSegmentBySegment) {
  answerPduMode(20);
  auto message = shortMessage(std::u16string(400, u'x'));
  const Strings expected = pduCommands(*message);
  ASSERT_EQ(expected.size(), 6u);
  sender_->enqueue(std::move(message));
  const EngineRecorder::Record record = handled();
  EXPECT_EQ(record.flag, 1);
  EXPECT_EQ(record.message->segments, 3);
  // The message keeps the reference of its last segment.
  EXPECT_EQ(record.message->refid, 22);
  EXPECT_EQ(withoutConcatReference(commands(expected.size())), withoutConcatReference(expected));
}

// A Turkish text the default alphabet can't carry goes out in 7-bit with the Turkish locking shift
// table once the setting allows it: two parts where UCS2 needs three.
TEST_F(SmsSenderTest, NationalLanguageSettingReachesThePdus) {
  struct Case {
    const char* name;
    const char* languages;
    int segments;
    const char* element;
  } cases[] = {{"NotSet", "", 3, nullptr}, {"Turkish", "1", 2, "250101"}};
  std::u16string text;
  while (text.size() < 200) text += u"\u015Fi\u015Fe \u0131\u015F\u0131k da\u011F ";
  text.resize(200);
  answerPduMode(30);
  std::size_t seen = 0;
  std::size_t messages = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    settings_.setString("sms.national_languages", fromUtf8(c.languages));
    sender_->enqueue(shortMessage(text));
    const EngineRecorder::Record record = handled(++messages);
    EXPECT_EQ(record.flag, 1);
    EXPECT_EQ(record.message->segments, c.segments);
    const Strings sent = commands(seen + 2 * static_cast<std::size_t>(c.segments));
    std::u16string joined;
    for (std::size_t i = seen + 1; i < sent.size(); i += 2) {
      const auto unit = hexToOctets(sent[i]);
      ASSERT_TRUE(unit.has_value()) << sent[i];
      const auto part = submitPduText(*unit);
      ASSERT_TRUE(part.has_value()) << sent[i];
      joined += *part;
      if (c.element != nullptr) {
        EXPECT_NE(sent[i].find(c.element), std::string::npos) << sent[i];
      }
    }
    EXPECT_EQ(toUtf8(joined), toUtf8(text));
    seen = sent.size();
  }
}

TEST_F(SmsSenderTest, CmsErrorFailsTheMessageWithItsText) {
  modem_.onPrefix("AT+CMGS=", "\r\n+CMS ERROR: 330\r\n");
  sender_->enqueue(shortMessage());
  const EngineRecorder::Record record = handled();
  EXPECT_EQ(record.flag, 0);
  EXPECT_EQ(record.message->segments, 1);
  EXPECT_EQ(sender_->lastError(), u"SMSC address unknown");
  EXPECT_EQ(channel_->getStatus(), ChannelStatus::Idle);
  EXPECT_EQ(recorder_.replies(), (Strings{"0:SMSC address unknown"}));
  EXPECT_EQ(sender_->sentCount(), 0);
}

TEST_F(SmsSenderTest, PromptDuringTheResultWaitIsClosedAndFailsTheMessage) {
  modem_.onPrefix("AT+CMGS=", "\r\n> ");
  modem_.onCommand([](const std::string& command, std::string& reply) {
    if (command.empty() || command[0] != '0') return false;
    reply = "\r\n> ";
    return true;
  });
  sender_->enqueue(shortMessage());
  const EngineRecorder::Record record = handled();
  EXPECT_EQ(record.flag, 0);
  ASSERT_TRUE(modem_.waitForCommands(3));
  // The third "command" is the lone Ctrl-Z that closed the prompt.
  EXPECT_EQ(modem_.commands()[2], "");
  EXPECT_NE(modem_.received().find("\x1a\x1a"), std::string::npos);
  EXPECT_EQ(recorder_.records(notice::kReply).back().flag, 0);
}

TEST_F(SmsSenderTest, StrayPromptAndLateRepliesAreSkippedAndTheNextMessageGoesThrough) {
  answerPduMode(1);
  modem_.on("AT", "\r\nOK\r\n");
  sender_->enqueue(command(u"AT\r\n"));
  ASSERT_TRUE(recorder_.waitFor(notice::kReply).reply);
  // Then a prompt nobody asked for, a final result and a reference that no wait is there for.
  modem_.sendAndWaitRead("\r\n> \r\nOK\r\n+CMGS: 99\r\n");
  // The channel reads the next bytes only once it has handed on those before: then the stray
  // lines wait for the sender before its message starts.
  modem_.sendAndWaitRead("\r\n");
  sender_->enqueue(shortMessage());
  const EngineRecorder::Record record = handled();
  EXPECT_EQ(record.flag, 1);
  EXPECT_EQ(record.message->refid, 1);
  EXPECT_EQ(recorder_.replies(), (Strings{"1:OK", "1:+CMGS: 1", "1:OK"}));
  // The stray prompt was closed before the message's command.
  EXPECT_EQ(commands(4)[1], "");
}

TEST_F(SmsSenderTest, MemorySendingStoresSendsAndDeletesEachIndexInOrder) {
  settings_.setInt("sender.use_memory", 1);
  settings_.setInt("sender.delete_mode", 1);
  answerPduMode(1, 4);
  auto next = std::make_shared<int>(31);
  modem_.onCommand([next](const std::string& command, std::string& reply) {
    if (command.rfind("AT+CMSS=", 0) != 0) return false;
    reply = "\r\n+CMSS: " + std::to_string((*next)++) + "\r\n\r\nOK\r\n";
    return true;
  });
  modem_.onPrefix("AT+CMGD=", "\r\nOK\r\n");
  auto message = shortMessage(std::u16string(200, u'y'));
  Strings expected = pduCommands(*message, "AT+CMGW=");
  ASSERT_EQ(expected.size(), 4u);
  for (const char* line : {"AT+CMSS=4", "AT+CMSS=5", "AT+CMGD=4", "AT+CMGD=5"}) {
    expected.push_back(line);
  }
  sender_->enqueue(std::move(message));
  const EngineRecorder::Record record = handled();
  EXPECT_EQ(record.flag, 1);
  // The reference the first "AT+CMSS=" returned.
  EXPECT_EQ(record.message->refid, 31);
  EXPECT_EQ(record.message->segments, 2);
  EXPECT_EQ(withoutConcatReference(commands(expected.size())), withoutConcatReference(expected));
  // The deletes were answered (and notified) before the result.
  EXPECT_EQ(recorder_.replies(), (Strings{"1:+CMGW: 4", "1:OK", "1:+CMGW: 5", "1:OK", "1:+CMSS: 31",
                                          "1:OK", "1:+CMSS: 32", "1:OK", "1:OK", "1:OK"}));
}

TEST_F(SmsSenderTest, DeleteModeTwoDeletesAllAfterEveryThirdMessage) {
  settings_.setInt("sender.use_memory", 1);
  settings_.setInt("sender.delete_mode", 2);
  settings_.setInt("sender.delete_after", 3);
  settings_.setString("sender.delete_all_cmd", u"AT+CMGD=1,3");
  answerPduMode(1, 1);
  modem_.onPrefix("AT+CMSS=", "\r\n+CMSS: 1\r\n\r\nOK\r\n");
  modem_.onPrefix("AT+CMGD=", "\r\nOK\r\n");
  for (int i = 0; i < 7; ++i) sender_->enqueue(shortMessage());
  ASSERT_TRUE(handled(7).message);
  Strings deletesAfter;
  int stored = 0;
  // Seven times stored, sent and sent from storage, and two deletes.
  for (const std::string& line : commands(23)) {
    if (line.rfind("AT+CMGW=", 0) == 0) ++stored;
    if (line.rfind("AT+CMGD=", 0) == 0) deletesAfter.push_back(std::to_string(stored) + line);
  }
  EXPECT_EQ(deletesAfter, (Strings{"3AT+CMGD=1,3", "6AT+CMGD=1,3"}));
  EXPECT_EQ(sender_->sentCount(), 7);
}

TEST_F(SmsSenderTest, FailedMemorySendingFreesWhatItStoredInDeleteModeOne) {
  settings_.setInt("sender.use_memory", 1);
  settings_.setInt("sender.delete_mode", 1);
  modem_.onPrefix("AT+CMGW=", "\r\n> ");
  auto bodies = std::make_shared<int>(0);
  modem_.onCommand([bodies](const std::string& command, std::string& reply) {
    if (command.empty() || command[0] != '0') return false;
    reply = (*bodies)++ == 0 ? "\r\n+CMGW: 8\r\n\r\nOK\r\n" : "\r\n+CMS ERROR: 322\r\n";
    return true;
  });
  modem_.onPrefix("AT+CMGD=", "\r\nOK\r\n");
  // The first segment is stored at 8, the second finds the storage full.
  sender_->enqueue(shortMessage(std::u16string(200, u'y')));
  const EngineRecorder::Record record = handled();
  EXPECT_EQ(record.flag, 0);
  EXPECT_EQ(record.message->segments, 2);
  EXPECT_EQ(sender_->lastError(), u"Memory full");
  EXPECT_EQ(commands(5).back(), "AT+CMGD=8");
  EXPECT_EQ(sender_->sentCount(), 0);
}

TEST_F(SmsSenderTest, DiagnosticTextSendsTheBinaryTestUnit) {
  answerPduMode(5);
  sender_->enqueue(shortMessage(u"ProbeMarlin7"));
  const EngineRecorder::Record record = handled();
  EXPECT_EQ(record.flag, 1);
  EXPECT_EQ(record.message->segments, 1);
  // The record keeps its text; the payload went on the air only.
  EXPECT_EQ(record.message->content, u"ProbeMarlin7");
  const Strings sent = commands(2);
  ASSERT_EQ(sent.size(), 2u);
  std::string payloadHex;
  for (int octet = 0; octet < 140; ++octet) {
    payloadHex += octetsToHex(std::vector<std::uint8_t>{static_cast<std::uint8_t>(octet)});
  }
  // 8-bit data, user data length 140 (8C), then the octets 00..8B.
  ASSERT_GT(sent[1].size(), payloadHex.size() + 2);
  EXPECT_EQ(sent[1].substr(sent[1].size() - payloadHex.size() - 2), "8C" + payloadHex);
}

TEST_F(SmsSenderTest, TextModeCommandNumberTypeAndBody) {
  settings_.setInt("sender.send_mode", 1);
  modem_.onPrefix("AT+CMGS=", "\r\n> ");
  auto next = std::make_shared<int>(40);
  modem_.onCommand([next](const std::string& command, std::string& reply) {
    if (command.empty() || command.rfind("AT", 0) == 0) return false;
    reply = "\r\n+CMGS: " + std::to_string((*next)++) + "\r\n\r\nOK\r\n";
    return true;
  });
  const struct {
    std::u16string to;
    int ton;
    std::u16string text;
    std::string command;
    std::string body;
  } cases[] = {
      // A national number still gets the "+", with type 161.
      {u"01701234567", 2, u"Hi", "AT+CMGS=\"+01701234567\",161", "Hi"},
      // A stored "+" is not doubled.
      {u"+491701234567", 1, u"Grüße", "AT+CMGS=\"+491701234567\",145", "Grüße"},
      // Nothing in the number or the text can end the command or the body early.
      {u"+49170\"\r\nAT+CMGD=1,4", 1,
       u"a\x1a"
       u"AT+CMGD=1,4",
       "AT+CMGS=\"+49170AT+CMGD=1,4\",145", "aAT+CMGD=1,4"},
  };
  std::size_t count = 0;
  for (const auto& c : cases) {
    auto message = std::make_unique<SMSMessage>(u"", c.to, c.text);
    message->dstton = c.ton;
    sender_->enqueue(std::move(message));
    const EngineRecorder::Record record = handled(++count);
    EXPECT_EQ(record.flag, 1) << c.command;
    EXPECT_EQ(record.message->refid, 39 + static_cast<int>(count));
    const Strings sent = commands(count * 2);
    ASSERT_EQ(sent.size(), count * 2);
    EXPECT_EQ(sent[count * 2 - 2], c.command);
    EXPECT_EQ(sent[count * 2 - 1], c.body);
  }
}

TEST_F(SmsSenderTest, PushInTextModeGoesAsItsText) {
  settings_.setInt("sender.send_mode", 1);
  modem_.onPrefix("AT+CMGS=", "\r\n> ");
  modem_.onPrefix("Offer", "\r\n+CMGS: 2\r\n\r\nOK\r\n");
  sender_->enqueue(
      std::make_unique<PushMessage>(u"", u"+491701234567", u"Offer", u"http://example.org/"));
  const EngineRecorder::Record record = handled();
  EXPECT_EQ(record.flag, 1);
  EXPECT_EQ(record.message->getType(), 2);
  EXPECT_EQ(commands(2).back(), "Offer");
}

TEST_F(SmsSenderTest, UssdRequestCommandsAndOutcome) {
  modem_.onPrefix("AT+CUSD=1,\"*100#\"", "\r\nOK\r\n");
  modem_.onPrefix("AT+CUSD=0,", "\r\n+CME ERROR: 258\r\n");
  sender_->enqueue(std::make_unique<USSDRequest>(u"", u"", u"*100#"));
  auto silent = std::make_unique<USSDRequest>(u"", u"", u"*101#");
  silent->flags = 8;
  sender_->enqueue(std::move(silent));
  const EngineRecorder::Record sent = handled(1);
  const EngineRecorder::Record failed = handled(2);
  EXPECT_EQ(sent.flag, 1);
  EXPECT_EQ(sent.message->getType(), 3);
  EXPECT_EQ(failed.flag, 0);
  EXPECT_EQ(sender_->lastError(), u"Phone is busy");
  EXPECT_EQ(commands(2)[0], "AT+CUSD=1,\"*100#\",15");
  EXPECT_EQ(channel_->getStatus(), ChannelStatus::Idle);
}

TEST_F(SmsSenderTest, MessageOfATypeThatIsNeverSentIsReportedFailed) {
  sender_->enqueue(std::make_unique<StatusReport>(u"+491701234567", u"", 5, 0, 0));
  const EngineRecorder::Record record = handled();
  ASSERT_TRUE(record.message);
  EXPECT_EQ(record.flag, 0);
  EXPECT_EQ(record.message->getType(), 4);
  EXPECT_TRUE(modem_.commands().empty());
}

TEST_F(SmsSenderTest, QueueIsClearedAndAskedAboutWhileTheChannelIsClosed) {
  channel_->close();
  sender_->enqueue(command(u"AT+CMGL=4\r\n"));
  sender_->enqueue(shortMessage());
  EXPECT_TRUE(sender_->isQueued(u"AT+CMGL=4\r\n"));
  EXPECT_FALSE(sender_->isQueued(u"AT+CMGL=4"));
  EXPECT_EQ(sender_->queuedCount(), 2u);
  sender_->clear();
  EXPECT_FALSE(sender_->isQueued(u"AT+CMGL=4\r\n"));
  EXPECT_EQ(sender_->queuedCount(), 0u);
  // Once the port is open again the queue flows.
  modem_.on("AT", "\r\nOK\r\n");
  ASSERT_TRUE(channel_->open(fromUtf8(modem_.portPath())));
  channel_->setStatus(ChannelStatus::Idle);
  sender_->enqueue(command(u"AT\r\n"));
  EXPECT_TRUE(recorder_.waitFor(notice::kReply).reply);
  EXPECT_EQ(commands(1), (Strings{"AT"}));
}

TEST_F(SmsSenderTest, CancelEndsTheWaitAtOnceAndTheNextMessageGoesThrough) {
  modem_.setSilent(true);
  sender_->enqueue(shortMessage());
  ASSERT_TRUE(modem_.waitForCommands(1));
  sender_->cancelWait();
  // Cut short by the user: no failed attempt of the message's own.
  EXPECT_EQ(handled().flag, sendFlag::kCancelled);
  EXPECT_EQ(handled().message->failureReason, u"Sending cancelled");
  modem_.setSilent(false);
  answerPduMode(1);
  sender_->enqueue(shortMessage());
  EXPECT_EQ(handled(2).flag, 1);
}

TEST_F(SmsSenderTest, StopEndsAWaitInProgress) {
  modem_.setSilent(true);
  sender_->enqueue(shortMessage());
  ASSERT_TRUE(modem_.waitForCommands(1));
  sender_->stop();
  sender_->join();
  EXPECT_EQ(handled().flag, sendFlag::kCancelled);
}

// Time passes only when the test moves the clock.
class SmsSenderClockTest : public SenderFixture {
 protected:
  SmsSenderClockTest() : SenderFixture(manual_) {}
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

TEST_F(SmsSenderClockTest, SegmentDelayPausesBetweenSegmentsOnly) {
  settings_.setInt("sender.delay", 2000);
  // Shorter than the delay: the pause must not count as the modem's silence.
  channel_->setReplyTimeout(1000);
  std::vector<std::int64_t> commandTimes;
  std::mutex timesMutex;
  modem_.onCommand([&](const std::string& command, std::string&) {
    if (command.rfind("AT+CMGS=", 0) == 0) {
      std::lock_guard guard(timesMutex);
      commandTimes.push_back(manual_.monotonicMs());
    }
    return false;
  });
  answerPduMode(1);
  sender_->enqueue(shortMessage(std::u16string(400, u'z')));
  // Move time in small steps while the segments go out.
  for (std::size_t expected = 2; expected <= 6; expected += 2) {
    ASSERT_TRUE(modem_.waitForCommands(expected));
    if (expected == 6) break;
    for (int step = 0; step < 100 && !modem_.waitForCommands(expected + 1, 20); ++step) {
      manual_.advance(50);
    }
  }
  const EngineRecorder::Record record = handled();
  EXPECT_EQ(record.flag, 1);
  EXPECT_EQ(record.message->segments, 3);
  std::lock_guard guard(timesMutex);
  ASSERT_EQ(commandTimes.size(), 3u);
  for (std::size_t i = 1; i < 3; ++i) {
    const std::int64_t gap = commandTimes[i] - commandTimes[i - 1];
    EXPECT_GE(gap, 2000) << i;
    EXPECT_LE(gap, 2500) << i;
  }
}

TEST_F(SmsSenderClockTest, SilentModemFailsTheMessageWithTimeout) {
  channel_->setReplyTimeout(10000);
  modem_.setSilent(true);
  sender_->enqueue(shortMessage());
  ASSERT_TRUE(modem_.waitForCommands(1));
  // The silence is timed from the moment the channel notes the awaited reply, which can come just
  // after the modem saw the command: move time on until the time-out has been seen.
  EngineRecorder::Record record;
  for (int round = 0; round < 20 && !record.message; ++round) {
    manual_.advance(10001);
    record = recorder_.waitFor(notice::kHandled, 1, 250);
  }
  ASSERT_TRUE(record.message);
  EXPECT_EQ(record.flag, 0);
  EXPECT_EQ(sender_->lastError(), u"timeout");
  EXPECT_EQ(channel_->getStatus(), ChannelStatus::Idle);
  // The modem wakes up: the next message goes through.
  modem_.setSilent(false);
  answerPduMode(1);
  sender_->enqueue(shortMessage());
  EXPECT_EQ(handled(2).flag, 1);
}

}  // namespace
}  // namespace parlane::test
