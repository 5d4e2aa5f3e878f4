#include <gtest/gtest.h>

#include <map>

#include "engine/ReceiverRig.h"
#include "message/StatusReport.h"
#include "support/InitializationReplies.h"
#include "support/ScriptedModem.h"

namespace parlane {
namespace {

using test::concat;
using test::deliverHex;
using Strings = std::vector<std::string>;

constexpr std::uint32_t kAllChecks = 0x7FFF;
constexpr char kReportPdu[] =
    "0791447758100650062A0D91945112325476F8622190010000406221900100504000";

// What a modem like the emulator answers (commands without their line end); `overrides` come
// first, and anything else is answered "OK".
void script(test::ScriptedModem& modem, const std::map<std::string, std::string>& overrides = {}) {
  for (const auto& [command, reply] : overrides) modem.on(command, reply);
  test::answerInitialization(modem);
  modem.onPrefix("", "\r\nOK\r\n");
}

class ReceiverModem : public ::testing::Test {
 protected:
  // The modem notes a command after answering it: wait for the last one to be noted.
  Strings commands(std::size_t count) {
    EXPECT_TRUE(modem.waitForCommands(count));
    return modem.commands();
  }

  test::ScriptedModem modem;
  test::EngineRig rig{modem.portPath()};
};

TEST_F(ReceiverModem, EchoOnForTheWholeSequence) {
  modem.setEcho(true);
  script(modem);
  ASSERT_TRUE(rig.connect(1, kAllChecks));
  EXPECT_FALSE(rig.init->problemsFound()) << rig.log.text();
  EXPECT_EQ(toUtf8(rig.init->model()), "MC35i");
  EXPECT_EQ(rig.init->signalPercent(), 93u);
  EXPECT_TRUE(rig.waitForFeatures(0x3000));
  EXPECT_EQ(rig.init->features(),
            0x3u | 0xC | 0x70 | 0x380 | 0xC00 | 0x3000 | 0x4000 | 0x10000 | 0x40000 | 0x80000);
  const Strings commands = this->commands(13);
  ASSERT_EQ(commands.size(), 13u);
  EXPECT_EQ(commands[commands.size() - 2], "AT+CNMI=2,1,0,1,0");
  EXPECT_EQ(commands.back(), "AT+CMGF=0");
}

TEST_F(ReceiverModem, NoChecksNoFeaturesSendsExactlyTheFixedList) {
  script(modem);
  rig.settings.setInt("modem.use_pin", 1);
  rig.settings.setString("modem.pin", u"4711");
  rig.settings.setInt("sender.read_mode", 0);
  rig.settings.setInt("sender.send_mode", 0);
  rig.settings.setString("smsc.address", u"+4917/Operator");
  rig.settings.setString("modem.custom_init.0", u"AT+CSCS=\"GSM\"");
  ASSERT_TRUE(rig.connect(0, 0));
  EXPECT_EQ(commands(8), (Strings{"ATZ", "AT+CPIN=4711", "AT+CMEE=1", "AT+CPMS?", "AT+CNMI=2,1",
                                  "AT+CMGF=0", "AT+CSCA=\"+4917\"", "AT+CSCS=\"GSM\""}));
  EXPECT_EQ(rig.init->features(), 0x3u | 0xC | 0x70 | 0x380 | 0xC00 | 0x3000);
}

struct ProblemCase {
  const char* name;
  std::map<std::string, std::string> replies;
  int problems;
  bool connectionFailed;
};

void PrintTo(const ProblemCase& c, std::ostream* os) { *os << c.name; }

class ReceiverModemProblems : public ReceiverModem,
                              public ::testing::WithParamInterface<ProblemCase> {};

TEST_P(ReceiverModemProblems, CountedAsTheSequenceSays) {
  script(modem, GetParam().replies);
  ASSERT_TRUE(rig.connect(1, kAllChecks));
  EXPECT_EQ(rig.init->problemCount(), GetParam().problems);
  bool failed = false;
  for (const auto& b : rig.notifier.balloons()) failed = failed || b.first == "Connection failed";
  EXPECT_EQ(failed, GetParam().connectionFailed);
}

const std::string kError = "\r\nERROR\r\n";
const std::string kCmeError = "\r\n+CME ERROR: 10\r\n";

INSTANTIATE_TEST_SUITE_P(
    , ReceiverModemProblems,
    ::testing::Values(
        ProblemCase{
            "DeleteQuerySimBusy", {{"AT+CMGD=?", "\r\n+CME ERROR: SM BL not ready\r\n"}}, 0, false},
        ProblemCase{"DeleteQueryPlainError", {{"AT+CMGD=?", kError}}, 0, false},
        ProblemCase{"StorageWithEightFields",
                    {{"AT+CPMS?", "\r\n+CPMS: \"SM\",0,20,\"SM\",0,20,\"SM\",0\r\n\r\nOK\r\n"}},
                    1,
                    false},
        ProblemCase{"SevenProbesFail",
                    {{"AT+CMEE=?", kCmeError},
                     {"AT+CSMS=?", kCmeError},
                     {"AT+CMGF=?", kCmeError},
                     {"AT+CNMI=?", kCmeError},
                     {"AT+CMGD=?", "\r\n+CMS ERROR: 302\r\n"},
                     {"AT+CGMM", kError},
                     {"AT+CSQ", kError}},
                    7,
                    true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReceiverModem, CustomCommandsZeroAndOneThenStop) {
  script(modem, {{"AT+FIRST", kError}});
  rig.settings.setString("modem.custom_init.0", u"AT+FIRST");
  rig.settings.setString("modem.custom_init.1", u"AT+SECOND");
  rig.settings.setString("modem.custom_init.3", u"AT+NEVER");
  ASSERT_TRUE(rig.connect(1, kAllChecks));
  const Strings commands = this->commands(15);
  ASSERT_EQ(commands.size(), 15u);
  EXPECT_EQ(commands[commands.size() - 2], "AT+FIRST");
  EXPECT_EQ(commands.back(), "AT+SECOND");
}

class ReceiverModemReceiving : public ReceiverModem {
 protected:
  void SetUp() override {
    modem.on("AT+CMGR=3",
             "\r\n+CMGR: 0,,30\r\n" + deliverHex("4917012345", "three") + "\r\n\r\nOK\r\n");
    modem.on("AT+CMGR=4", "\r\n+CMGR: 0,,30\r\n" +
                              deliverHex("4917012345", "part one ", concat(3, 2, 1)) +
                              "\r\n\r\nOK\r\n");
    modem.on("AT+CMGR=9", "\r\n+CMGR: 0,,30\r\n" +
                              deliverHex("4917012345", "part one ", concat(3, 2, 1)) +
                              "\r\n\r\nOK\r\n");
    script(modem);
    ASSERT_TRUE(rig.connect(1, kAllChecks));
    ASSERT_TRUE(modem.waitForCommands(13));
    rig.sink.takeMessages();
  }
};

TEST_F(ReceiverModemReceiving, PartsTwoOneThreeGiveOneMessageAfterTheThird) {
  modem.send("\r\n+CMT: ,30\r\n" + deliverHex("4917012345", "beta ", concat(200, 3, 2)) + "\r\n");
  modem.send("\r\n+CMT: ,30\r\n" + deliverHex("4917012345", "alpha ", concat(200, 3, 1)) + "\r\n");
  modem.send("\r\n+CMT: ,30\r\n" + deliverHex("4917012345", "gamma", concat(200, 3, 3)) + "\r\n");
  ASSERT_TRUE(rig.sink.waitForMessages(1));
  auto messages = rig.sink.takeMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].code, 1026);
  EXPECT_EQ(toUtf8(messages[0].message->content), "alpha beta gamma");
  EXPECT_EQ(messages[0].message->segments, 3);
}

TEST_F(ReceiverModemReceiving, SamePartTwiceDeletesTheHeldSlot) {
  const std::size_t before = modem.commands().size();
  modem.send("\r\n+CMTI: \"SM\",4\r\n");
  ASSERT_TRUE(modem.waitForCommands(before + 1));
  modem.send("\r\n+CMTI: \"SM\",9\r\n");
  ASSERT_TRUE(modem.waitForCommands(before + 3));
  const Strings commands = modem.commands();
  EXPECT_EQ(Strings(commands.begin() + static_cast<long>(before), commands.end()),
            (Strings{"AT+CMGR=4", "AT+CMGR=9", "AT+CMGD=4"}));
  EXPECT_TRUE(rig.log.contains("Duplicate PDU ignored"));
}

TEST_F(ReceiverModemReceiving, IndexNoticeForAnotherStorageSelectsItFirst) {
  rig.init->setMemoryName(0, u"ME");
  const std::size_t before = modem.commands().size();
  modem.send("\r\n+CMTI: \"SM\",3\r\n");
  ASSERT_TRUE(rig.sink.waitForMessages(1));
  const Strings commands = this->commands(before + 2);
  EXPECT_EQ(Strings(commands.begin() + static_cast<long>(before), commands.end()),
            (Strings{"AT+CPMS=\"SM\",\"SM\",\"SM\"", "AT+CMGR=3"}));
  auto messages = rig.sink.takeMessages();
  EXPECT_EQ(toUtf8(messages[0].message->content), "three");
  EXPECT_EQ(test::slotIndexes(*messages[0].message), (std::vector<std::int32_t>{3}));
}

TEST_F(ReceiverModemReceiving, IndexThatReadsBackEmptyLeavesTheNextReadIntact) {
  modem.on("AT+CMGR=7", "\r\nOK\r\n");
  modem.send("\r\n+CMTI: \"SM\",7\r\n");
  modem.send("\r\n+CMTI: \"SM\",3\r\n");
  ASSERT_TRUE(rig.sink.waitForMessages(1));
  auto messages = rig.sink.takeMessages();
  EXPECT_EQ(toUtf8(messages[0].message->content), "three");
  EXPECT_EQ(test::slotIndexes(*messages[0].message), (std::vector<std::int32_t>{3}));
}

TEST_F(ReceiverModemReceiving, StatusReportAfterCds) {
  modem.send(std::string("\r\n+CDS: 25\r\n") + kReportPdu + "\r\n");
  ASSERT_TRUE(rig.sink.waitForMessages(1));
  auto messages = rig.sink.takeMessages();
  ASSERT_EQ(messages[0].message->getType(), 4);
  EXPECT_EQ(static_cast<const StatusReport&>(*messages[0].message).refid, 42);
}

TEST_F(ReceiverModemReceiving, GarbageBetweenMessagesIsSkipped) {
  modem.send("\r\n+CMT: ,30\r\nNOT HEX AT ALL\r\n+CMTI: \"SM\",\r\n+CDS: 25\r\n00112\r\n");
  modem.send("\r\n+CMT: ,30\r\n" + deliverHex("4917012345", "after garbage") + "\r\n");
  ASSERT_TRUE(rig.sink.waitForMessages(1));
  auto messages = rig.sink.takeMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(toUtf8(messages[0].message->content), "after garbage");
  EXPECT_TRUE(rig.log.contains("Received PDU can't be decoded, skipped: NOT HEX AT ALL"));
}

TEST(ReceiverPrompt, APromptNobodyAskedForIsClosed) {
  test::ScriptedModem modem;
  test::LogCapture log;
  SettingsStore settings;
  AsyncSerialComm channel(settings);
  test::RecordingCommandQueue queue;
  SmsReceiver receiver(channel, queue, settings);
  ASSERT_TRUE(channel.open(fromUtf8(modem.portPath())));
  receiver.handle(AsyncEvent(AsyncEvent::kPrompt, 0, u">", ">"));
  ASSERT_TRUE(modem.waitForCommands(1));
  EXPECT_EQ(modem.received(), "\x1a");
  EXPECT_TRUE(log.contains("Serial port: unexpected reply! Type: 3 Content: >"));
  channel.close();
}

}  // namespace
}  // namespace parlane
