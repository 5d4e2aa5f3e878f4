// The whole gateway as a real process on a modem whose message memory is small and fills up:
// every message that reaches the memory ends in the inbox exactly once, and the memory empties.
#include <ctime>
#include <map>
#include <set>

#include "GatewayRun.h"
#include "engine/ReceiverTestSupport.h"
#include "support/AnsweringModem.h"
#include "support/ScriptedModem.h"
#include "support/SimMemory.h"

namespace parlane {
namespace {

using test::FolderRecord;
using test::GatewayRun;

constexpr std::size_t kContent = 4;  // inbox

std::multiset<std::string> inboxTexts(const GatewayRun& run) {
  std::multiset<std::string> texts;
  for (const FolderRecord& record : run.folder("inbox")) texts.insert(record.at(kContent));
  return texts;
}

std::size_t occurrences(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

std::size_t lineCount(const std::string& path) {
  std::ifstream in(path);
  std::size_t count = 0;
  for (std::string line; std::getline(in, line);) ++count;
  return count;
}

// The service centre stamp of a message sent just now ("yyMMddhhmmss", UTC).
std::string stampNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  ::gmtime_r(&now, &utc);
  char text[16];
  std::strftime(text, sizeof text, "%y%m%d%H%M%S", &utc);
  return text;
}

// A message from `sender` as the network hands it to the modem now.
std::string pdu(const std::string& sender, const std::string& text,
                const std::vector<std::uint8_t>& header = {}) {
  return test::deliverHex(sender, text, header, stampNow());
}

class GatewayOnSmallMemory : public testing::Test, public GatewayRun {
 protected:
  void SetUp() override { configure({{"modem.port", modem.portPath()}}); }
  // Starts the gateway on a memory of `slots` and waits until it is connected.
  pid_t startOn(test::SimMemory& memory) {
    memory.attach();
    test::answerLikeAModem(modem);
    const pid_t gateway = start();
    EXPECT_TRUE(waitForLog("Title: Parlane (connected to")) << log();
    return gateway;
  }

  test::ScriptedModem modem;
};

TEST_F(GatewayOnSmallMemory, HundredFiftyMessagesThroughTenSlotsEachReachTheInboxOnce) {
  test::SimMemory memory(modem, 10);
  const pid_t gateway = startOn(memory);
  std::multiset<std::string> expected;
  for (int i = 1; i <= 150; ++i) {
    const std::string text = "message " + std::to_string(i);
    expected.insert(text);
    memory.deliver(pdu("4917012345", text));
  }
  EXPECT_TRUE(eventually([&] { return inboxTexts(*this) == expected; }, 120))
      << "in the inbox: " << inboxTexts(*this).size()
      << ", deleted unread: " << memory.deletedUnread();
  EXPECT_TRUE(eventually([&] { return memory.used() == 0 && memory.waiting() == 0; }))
      << "slots in use: " << memory.used() << ", waiting: " << memory.waiting();
  EXPECT_EQ(memory.deletedUnread(), 0);
  EXPECT_TRUE(stop(gateway));
  EXPECT_EQ(inboxTexts(*this), expected);
}

TEST_F(GatewayOnSmallMemory, LongMessageOfMorePartsThanSlotsIsStoredWholeWhileOthersArrive) {
  test::SimMemory memory(modem, 20);
  const pid_t gateway = startOn(memory);
  std::string whole;
  std::multiset<std::string> expected;
  for (int part = 1; part <= 21; ++part) {
    const std::string text = "p" + std::to_string(part) + " ";
    whole += text;
    memory.deliver(pdu("4917012345", text, test::concat(77, 21, part)));
  }
  for (int i = 1; i <= 3; ++i) {
    const std::string other = "meanwhile " + std::to_string(i);
    expected.insert(other);
    memory.deliver(pdu("4917099999", other));
  }
  expected.insert(whole);
  EXPECT_TRUE(eventually([&] { return inboxTexts(*this) == expected; }, 60))
      << "in the inbox: " << inboxTexts(*this).size() << ", slots in use: " << memory.used()
      << ", waiting: " << memory.waiting() << "\n"
      << log();
  EXPECT_TRUE(eventually([&] { return memory.used() == 0 && memory.waiting() == 0; }));
  EXPECT_EQ(memory.deletedUnread(), 0);
  EXPECT_TRUE(stop(gateway));
}

TEST_F(GatewayOnSmallMemory, RestartBetweenPartsFreesEverySlot) {
  test::SimMemory memory(modem, 10);
  pid_t gateway = startOn(memory);
  memory.deliver(pdu("4917012345", "three", test::concat(5, 3, 3)));
  memory.deliver(pdu("4917012345", "one ", test::concat(5, 3, 1)));
  // Both parts wait in the parts file.
  ASSERT_TRUE(eventually([&] { return lineCount(dataFolder() + "/parts") == 3; })) << log();
  EXPECT_TRUE(stop(gateway));

  gateway = start();
  ASSERT_TRUE(eventually([&] { return occurrences(log(), "Title: Parlane (connected to") == 2; }))
      << log();
  memory.deliver(pdu("4917012345", "two ", test::concat(5, 3, 2)));
  EXPECT_TRUE(eventually([&] { return inboxTexts(*this).size() == 1; })) << log();
  EXPECT_EQ(inboxTexts(*this), (std::multiset<std::string>{"one two three"}));
  EXPECT_TRUE(eventually([&] { return memory.used() == 0; }))
      << "slots in use: " << memory.used() << "\n"
      << log();
  EXPECT_EQ(memory.deletedUnread(), 0);
  EXPECT_TRUE(stop(gateway));
}

}  // namespace
}  // namespace parlane
