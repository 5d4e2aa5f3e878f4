// The whole gateway as a real process on the pseudo-terminal test modem (echo on) or the
// emulator: connecting, sending what is queued, receiving, surviving a crash and bad input.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>

#include <atomic>
#include <set>

#include "GatewayRun.h"
#include "engine/ReceiverTestSupport.h"
#include "support/AnsweringModem.h"
#include "support/ScriptedModem.h"

namespace parlane {
namespace {

using test::answerLikeAModem;
using test::FolderRecord;
using test::GatewayRun;
using namespace std::chrono_literals;

// Folder columns read here.
constexpr std::size_t kContent = 5;
constexpr std::size_t kUniqueId = 9;
constexpr std::size_t kRefId = 10;  // sent folder
constexpr std::size_t kFrom = 2;    // inbox

std::vector<std::u16string> numberedTexts(int count) {
  std::vector<std::u16string> texts;
  for (int i = 1; i <= count; ++i) texts.push_back(u"message " + fromUtf8(std::to_string(i)));
  return texts;
}

class GatewayOnModem : public testing::Test, public GatewayRun {
 protected:
  void SetUp() override { configure({{"modem.port", modem.portPath()}}); }
  test::ScriptedModem modem;
};

TEST_F(GatewayOnModem, ConnectsAtStartAndTellsTheStatusFile) {
  answerLikeAModem(modem);
  const pid_t gateway = start();
  ASSERT_TRUE(eventually([&] { return status().find("; state:ready;") != std::string::npos; }))
      << status() << log();
  EXPECT_TRUE(waitForLog("Title: Parlane (connected to " + modem.portPath() + ")")) << log();
  EXPECT_NE(status().find("; port: " + modem.portPath() + "; "), std::string::npos) << status();
  EXPECT_NE(status().find("; outbox:0; errors:0"), std::string::npos) << status();
  EXPECT_TRUE(stop(gateway));
  EXPECT_TRUE(logHas("Parlane stopped"));
}

TEST_F(GatewayOnModem, MessagesQueuedBeforeTheStartLandInSentWithTheirReferences) {
  answerLikeAModem(modem);
  queueInOutbox(numberedTexts(3));
  const pid_t gateway = start();
  ASSERT_TRUE(eventually([&] { return folder("sent").size() == 3 && folder("outbox").empty(); }))
      << log();
  std::set<std::string> texts;
  std::set<std::string> references;
  for (const FolderRecord& record : folder("sent")) {
    texts.insert(record.at(kContent));
    references.insert(record.at(kRefId));
  }
  EXPECT_EQ(texts, (std::set<std::string>{"message 1", "message 2", "message 3"}));
  EXPECT_EQ(references, (std::set<std::string>{"1", "2", "3"}));
  EXPECT_TRUE(stop(gateway));
}

TEST_F(GatewayOnModem, AnAnnouncedMessageIsStoredOnceAndDeletedFromTheModem) {
  modem.on("AT+CMGR=3",
           "\r\n+CMGR: 0,,30\r\n" + test::deliverHex("4917012345", "three") + "\r\n\r\nOK\r\n");
  answerLikeAModem(modem);
  const pid_t gateway = start();
  ASSERT_TRUE(waitForLog("Title: Parlane (connected to")) << log();
  modem.send("\r\n+CMTI: \"SM\",3\r\n");
  ASSERT_TRUE(eventually([&] {
    const auto commands = modem.commands();
    return std::find(commands.begin(), commands.end(), "AT+CMGD=3") != commands.end();
  })) << log();
  ASSERT_TRUE(eventually([&] { return !folder("inbox").empty(); }));
  const auto inbox = folder("inbox");
  ASSERT_EQ(inbox.size(), 1u);
  EXPECT_NE(inbox[0].at(kFrom).find("4917012345"), std::string::npos);
  EXPECT_TRUE(waitForLog("Got SMS from ")) << log();
  EXPECT_TRUE(stop(gateway));
  EXPECT_EQ(folder("inbox").size(), 1u);
}

// A ring in the middle of the indication probe: the probe still counts, the gateway asks for
// new-message notices, and the next message announced is read and stored.
TEST_F(GatewayOnModem, ProbeHitByARingStillEndsInNotifyModeAndReceives) {
  configure({{"modem.port", modem.portPath()}, {"sender.read_mode", "3"}});
  modem.on("AT+CNMI=?",
           "\r\nRING\r\n\r\n+CNMI: (0-3),(0-3),(0,2,3),(0-1),(0)\r\nRING\r\n\r\nOK\r\n");
  modem.on("AT+CMGR=5", "\r\n+CMGR: 0,,30\r\n" + test::deliverHex("4917012345", "after the ring") +
                            "\r\n\r\nOK\r\n");
  answerLikeAModem(modem);
  const pid_t gateway = start();
  ASSERT_TRUE(waitForLog("Title: Parlane (connected to")) << log();
  const auto commands = modem.commands();
  EXPECT_NE(std::find(commands.begin(), commands.end(), "AT+CNMI=2,1,0,1,0"), commands.end())
      << log();
  EXPECT_FALSE(logHas("Connected, but some problems found")) << log();
  modem.send("\r\n+CMTI: \"SM\",5\r\n");
  ASSERT_TRUE(eventually([&] { return folder("inbox").size() == 1; })) << log();
  const FolderRecord stored = folder("inbox")[0];
  EXPECT_NE(std::find(stored.begin(), stored.end(), "after the ring"), stored.end());
  EXPECT_TRUE(stop(gateway));
}

// A crash (SIGKILL) while messages go out, then a new start: each queued message is in the
// outbox or in "sent", and at most the one in flight went out twice.
TEST_F(GatewayOnModem, KilledWhileSendingLosesNothing) {
  answerLikeAModem(modem, std::chrono::milliseconds(150));
  const auto texts = numberedTexts(8);
  queueInOutbox(texts);
  pid_t gateway = start();
  ASSERT_TRUE(eventually([&] { return folder("sent").size() >= 2; })) << log();
  kill(gateway);

  std::multiset<std::string> seen;
  for (const auto& record : folder("sent")) seen.insert(record.at(kContent));
  for (const auto& record : folder("outbox")) seen.insert(record.at(kContent));
  for (const auto& text : texts) EXPECT_GE(seen.count(toUtf8(text)), 1u) << toUtf8(text);

  gateway = start();
  ASSERT_TRUE(eventually([&] { return folder("outbox").empty(); })) << log();
  EXPECT_TRUE(stop(gateway));
  std::multiset<std::string> sent;
  for (const auto& record : folder("sent")) sent.insert(record.at(kContent));
  int twice = 0;
  for (const auto& text : texts) {
    const auto count = sent.count(toUtf8(text));
    EXPECT_GE(count, 1u) << toUtf8(text);
    EXPECT_LE(count, 2u) << toUtf8(text);
    if (count == 2) ++twice;
  }
  EXPECT_LE(twice, 1);
  EXPECT_TRUE(folder("failed").empty());
}

TEST_F(GatewayOnModem, SendResultAfterTwentySecondsGivesOneSendAndASentRecord) {
  // A busy network: the modem gives the result of each body 20 s after it, far beyond the reply
  // time-out of 3 s of this profile.
  auto copies = std::make_shared<std::atomic<int>>(0);
  modem.onCommand([this, copies](const std::string& command, std::string&) {
    if (command.empty() || command.starts_with("AT") ||
        command.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos) {
      return false;
    }
    const int copy = ++*copies;
    modem.sendAfter(20'000, "\r\n+CMGS: " + std::to_string(40 + copy) + "\r\n\r\nOK\r\n");
    return true;
  });
  answerLikeAModem(modem);
  queueInOutbox({u"busy network"});
  const pid_t gateway = start();
  ASSERT_TRUE(eventually([&] { return !folder("sent").empty() || !folder("failed").empty(); }, 60))
      << log();
  const std::vector<FolderRecord> sent = folder("sent");
  EXPECT_EQ(copies->load(), 1) << "copies sent";
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].at(kContent), "busy network");
  EXPECT_EQ(sent[0].at(kRefId), "41");
  EXPECT_TRUE(folder("failed").empty());
  // "sent" is saved before the outbox record goes.
  EXPECT_TRUE(eventually([&] { return folder("outbox").empty(); }));
  EXPECT_TRUE(stop(gateway));
  EXPECT_EQ(copies->load(), 1) << "copies sent";
}

TEST(GatewayOnEmulator, ConnectsAndSendsWithShortenedPauses) {
  GatewayRun run;
  run.configure({{"modem.emulation", "1"}, {"modem.port", "ttyEMU0"}});
  run.queueInOutbox(numberedTexts(2));
  const pid_t gateway = run.start();
  ASSERT_TRUE(GatewayRun::eventually([&] {
    return run.status().find("; state:ready;") != std::string::npos;
  })) << run.log();
  EXPECT_TRUE(run.waitForLog("Title: Parlane (connected to ttyEMU0)"));
  ASSERT_TRUE(GatewayRun::eventually([&] { return run.folder("sent").size() == 2; })) << run.log();
  EXPECT_TRUE(run.folder("outbox").empty());
  EXPECT_TRUE(run.stop(gateway));
}

// Bad input: the user is told (headless: in the log), the gateway keeps running, the queued
// messages stay where they were.
class GatewayBadInput : public GatewayOnModem {
 protected:
  // Starts with two queued messages; expects `text` in the log and the program still running.
  pid_t startAndExpect(const std::string& text) {
    queueInOutbox(numberedTexts(2));
    const pid_t gateway = start();
    EXPECT_TRUE(waitForLog(text)) << log();
    EXPECT_TRUE(running(gateway));
    return gateway;
  }
  // Every queued message is in a folder; the program ends in order.
  void expectNothingLost(pid_t gateway) {
    EXPECT_TRUE(running(gateway));
    EXPECT_TRUE(stop(gateway));
    EXPECT_EQ(folder("outbox").size() + folder("sent").size() + folder("failed").size(), 2u);
  }
};

TEST_F(GatewayBadInput, PortThatDoesNotExist) {
  configure({{"modem.port", profile.file("no-such-tty")}});
  const pid_t gateway =
      startAndExpect("The port '" + profile.file("no-such-tty") + "' can't be opened.");
  EXPECT_TRUE(waitForLog("Title: Parlane (error)"));
  EXPECT_TRUE(eventually([&] { return status().find("; state:error;") != std::string::npos; }));
  expectNothingLost(gateway);
  EXPECT_EQ(folder("outbox").size(), 2u);
}

TEST_F(GatewayBadInput, EmptyPort) {
  configure({{"modem.port", ""}});
  const pid_t gateway =
      startAndExpect("The COM port is not set. Please setup COM port before connection!");
  // No display here: the port wizard does not open, the gateway runs on disconnected.
  EXPECT_TRUE(logHas("No modem port is set and there is no display for the port wizard")) << log();
  expectNothingLost(gateway);
  EXPECT_EQ(folder("outbox").size(), 2u);
}

TEST_F(GatewayBadInput, PortTakenByAnotherProgram) {
  answerLikeAModem(modem);
  // Held as a program that opens a port exclusively does (root passes TIOCEXCL, not the lock).
  const int holder = ::open(modem.portPath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::ioctl(holder, TIOCEXCL), 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  const pid_t gateway = startAndExpect("usually ModemManager or brltty");
  EXPECT_TRUE(waitForLog("Title: Parlane (error)"));
  ::close(holder);
  expectNothingLost(gateway);
  EXPECT_EQ(folder("outbox").size(), 2u);
}

TEST_F(GatewayBadInput, ModemThatAnswersNothing) {
  configure({{"modem.port", modem.portPath()},
             {"sender.timeout", "300"},
             {"sender.timeout.connect", "300"},
             {"sender.retries", "0"}});
  modem.setSilent(true);
  const pid_t gateway = startAndExpect("Connection failed");
  expectNothingLost(gateway);
}

TEST_F(GatewayBadInput, GarbageOnTheLine) {
  modem.on("AT+CMGR=4", "\r\n+CMGR: 0,,30\r\n" + test::deliverHex("4917012345", "after noise") +
                            "\r\n\r\nOK\r\n");
  answerLikeAModem(modem);
  queueInOutbox(numberedTexts(2));
  // Junk while connecting and sending: broken notices, a stray prompt, bytes that are no text.
  std::thread noise([&] {
    const std::string junk[] = {
        std::string("\x00\xff\xfe\r\n", 5), "+CMTI: \"SM\",\r\n",  "\r\n+CMGS: x\r\n",  "> \r\n",
        "\x1b[2J\r\nERROR 7\r\n",           "+CDS: 9\r\nZZZZ\r\n", "+CMT: ,2\r\n0G\r\n"};
    for (int round = 0; round < 70; ++round) {
      modem.send(junk[round % std::size(junk)]);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  const pid_t gateway = start();
  noise.join();
  EXPECT_TRUE(eventually([&] { return folder("sent").size() == 2; })) << log();
  // The line is still read as it should be.
  modem.send("\r\n+CMTI: \"SM\",4\r\n");
  EXPECT_TRUE(eventually([&] { return folder("inbox").size() == 1; })) << log();
  expectNothingLost(gateway);
}

TEST_F(GatewayBadInput, StatusFileInAFolderThatDoesNotExist) {
  answerLikeAModem(modem);
  configure(
      {{"modem.port", modem.portPath()}, {"status.file", profile.file("missing/gateway.status")}});
  const pid_t gateway =
      startAndExpect("Can't write the status file " + profile.file("missing/gateway.status"));
  EXPECT_TRUE(waitForLog("Title: Parlane (connected to")) << log();
  EXPECT_TRUE(eventually([&] { return folder("sent").size() == 2; })) << log();
  expectNothingLost(gateway);
}

}  // namespace
}  // namespace parlane
