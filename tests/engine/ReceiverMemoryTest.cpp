// The receiver on a pseudo-terminal modem whose message memory is small: what it reads is tied to
// the slot it came from, whatever the modem says meanwhile.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <set>

#include "engine/DeleteCommands.h"
#include "engine/MemoryCommands.h"
#include "engine/ReceiverRig.h"
#include "support/InitializationReplies.h"
#include "support/ScriptedModem.h"
#include "support/SimMemory.h"

namespace parlane {
namespace {

using test::deliverHex;

constexpr std::uint32_t kAllChecks = 0x7FFF;

bool emptiedWithin(const test::SimMemory& memory, int limitMs) {
  for (int waited = 0; memory.used() > 0 || memory.waiting() > 0; waited += 5) {
    if (waited >= limitMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

class ReceiverOnSmallMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    memory.attach();
    test::answerInitialization(modem);
    modem.on("AT+CGSN", "\r\n351234567890123\r\n\r\nOK\r\n");
    modem.onPrefix("", "\r\nOK\r\n");
    ASSERT_TRUE(rig.connect(1, kAllChecks));
    // The modem notes a command after answering it: the last of the sequence too.
    ASSERT_TRUE(modem.waitForCommands(13));
    rig.sink.takeMessages();
  }

  // Plays the service: each message handed on is kept and the slots it names are deleted, until
  // `count` messages came or nothing more comes.
  std::multiset<std::string> receive(std::size_t count) {
    std::multiset<std::string> texts;
    while (texts.size() < count && rig.sink.waitForMessages(1)) {
      for (auto& message : rig.sink.takeMessages()) {
        texts.insert(toUtf8(message.message->content));
        for (ModemSlot slot : message.message->memorySlots) {
          if (slot.index >= 0) rig.sender->enqueue(deleteReadMessageCommand(slot));
        }
      }
    }
    return texts;
  }

  test::ScriptedModem modem;
  test::SimMemory memory{modem, 3};
  test::EngineRig rig{modem.portPath()};
};

TEST_F(ReceiverOnSmallMemory, EachMessageNamesTheSlotItWasReadFrom) {
  std::multiset<std::string> expected;
  for (int i = 1; i <= 30; ++i) {
    expected.insert("message " + std::to_string(i));
    memory.deliver(deliverHex("4917012345", "message " + std::to_string(i)));
  }
  EXPECT_EQ(receive(expected.size()), expected);
  EXPECT_EQ(memory.deletedUnread(), 0);
  EXPECT_TRUE(emptiedWithin(memory, 5000)) << memory.used() << " slot(s) still in use";
}

// A message read twice (a listing and its own notice) is handed on twice; its slot is freed by the
// first delete and at once taken by the next message, which the second delete must not hit.
TEST_F(ReceiverOnSmallMemory, MessageReadTwiceIsDeletedOnceThoughItsSlotIsTakenAgain) {
  memory.preload(1, deliverHex("4917012345", "read twice"), false);
  const std::size_t before = modem.commands().size();
  rig.sender->enqueue(readMessageCommand(1));
  rig.sender->enqueue(readMessageCommand(1));
  ASSERT_TRUE(rig.sink.waitForMessages(2));
  std::vector<test::RecordingEngineSink::Message> copies = rig.sink.takeMessages();
  ASSERT_EQ(copies.size(), 2u);
  rig.sender->enqueue(deleteReadMessageCommand(copies[0].message->memorySlots.at(0)));
  // Both reads and the delete answered: the slot is free again.
  ASSERT_TRUE(modem.waitForCommands(before + 3));
  memory.deliver(deliverHex("4917099999", "took the slot"));
  rig.sender->enqueue(deleteReadMessageCommand(copies[1].message->memorySlots.at(0)));
  EXPECT_EQ(receive(1), (std::multiset<std::string>{"took the slot"}));
  EXPECT_TRUE(emptiedWithin(memory, 5000));
  EXPECT_EQ(memory.deletedUnread(), 0);
  // The modem notes a command once it has answered it: the last delete may still be on its way.
  ASSERT_TRUE(modem.waitForCommands(before + 5));
  const std::vector<std::string> commands = modem.commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "AT+CMGD=1"), 2);
}

TEST_F(ReceiverOnSmallMemory, NoticeCutByACommandIsReadWhole) {
  memory.splitNextAnnouncement();
  memory.deliver(deliverHex("4917012345", "cut in two"));
  ASSERT_TRUE(modem.waitUntilRead());
  // Any command: the rest of the notice comes just before its answer.
  rig.sender->enqueue(std::make_unique<ATCommandMessage>(u"AT\r\n"));
  EXPECT_EQ(receive(1), (std::multiset<std::string>{"cut in two"}));
  EXPECT_TRUE(emptiedWithin(memory, 5000));
}

TEST_F(ReceiverOnSmallMemory, EmptyHeaderEndsTheReadAndTheNextRepliesGoToTheSender) {
  memory.setEmptyHeaderForFreeSlots(true);
  rig.channel->setReplyTimeout(2000);
  const std::size_t before = modem.commands().size();
  modem.send("\r\n+CMTI: \"SM\",2\r\n");  // a slot that holds nothing
  ASSERT_TRUE(modem.waitForCommands(before + 1));
  rig.sender->enqueue(deleteOneCommand(2));
  rig.sender->enqueue(std::make_unique<ATCommandMessage>(u"AT+CGSN\r\n"));
  rig.sender->enqueue(std::make_unique<ATCommandMessage>(u"AT\r\n"));
  ASSERT_TRUE(modem.waitForCommands(before + 4));
  EXPECT_EQ(modem.commands()[before], "AT+CMGR=2");
  EXPECT_EQ(toUtf8(rig.sender->lastError()), "Invalid memory index");
  EXPECT_FALSE(rig.log.contains("can't be decoded")) << rig.log.text();
}

TEST_F(ReceiverOnSmallMemory, TextModeBodyIsStoredWhole) {
  rig.settings.setInt("sender.send_mode", 1);
  modem.send("\r\n+CMT: \"+31612345678\",,\"24/01/02,10:00:00+04\"\r\n> see above\nOK\r\n");
  ASSERT_TRUE(rig.sink.waitForMessages(1));
  auto messages = rig.sink.takeMessages();
  EXPECT_EQ(toUtf8(messages[0].message->content), "> see above\nOK");
  // Nothing took the text for a prompt to close.
  const std::size_t before = modem.commands().size();
  rig.sender->enqueue(std::make_unique<ATCommandMessage>(u"AT\r\n"));
  ASSERT_TRUE(modem.waitForCommands(before + 1));
  EXPECT_EQ(modem.received().find('\x1a'), std::string::npos);
}

}  // namespace
}  // namespace parlane
