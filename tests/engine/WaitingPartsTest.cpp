// Parts of long messages that wait for the rest: kept in a file across restarts, and given up
// after "receiver.parts_timeout" with "[...]" for each missing part, on a manual clock.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/settings/SettingsStore.h"
#include "core/util/Clock.h"
#include "engine/FragmentStore.h"
#include "engine/ModemInitializer.h"
#include "engine/ReceiverTestSupport.h"
#include "engine/SmsReceiver.h"
#include "support/TempDir.h"
#include "transport/AsyncSerialComm.h"

namespace parlane {
namespace {

using test::concat;
using test::deliverHex;

ReceivedPdu makePart(int index, int total, std::u16string text, int memoryIndex = -1) {
  ReceivedPdu part;
  part.party = u"+4917012345";
  part.reference = 9;
  part.total = total;
  part.index = index;
  part.text = std::move(text);
  part.time = 1'704'110'400;
  part.header = {0x00, 0x03, 0x09, static_cast<std::uint8_t>(total),
                 static_cast<std::uint8_t>(index + 1)};
  part.coding = SmsCoding::Ucs2;
  part.memoryIndex = memoryIndex;
  return part;
}

TEST(FragmentStoreFile, ReadsBackWhatItWrote) {
  FragmentStore store;
  // Texts with what a line format could trip over, and half of a surrogate pair.
  store.add(makePart(0, 3, u"tab\there\nnew line \xD83D", 4), 100);
  store.add(makePart(2, 3, u"\xDE00 end", 7), 160);
  FragmentStore copy;
  std::size_t skipped = 99;
  copy.deserialize(store.serialize(), &skipped);
  EXPECT_EQ(skipped, 0u);
  EXPECT_EQ(copy.serialize(), store.serialize());
  EXPECT_EQ(copy.earliestArrival(), 100);
  // The missing part completes the message read back; the storage slots are not taken over.
  copy.add(makePart(1, 3, u"middle"), 200);
  const std::vector<ReceivedPdu> parts = copy.takeComplete();
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0].text, u"tab\there\nnew line \xD83D");
  EXPECT_EQ(parts[2].text, u"\xDE00 end");
  EXPECT_EQ(parts[0].header, makePart(0, 3, u"").header);
  EXPECT_EQ(parts[0].coding, SmsCoding::Ucs2);
  EXPECT_EQ(parts[0].memoryIndex, -1);
}

TEST(FragmentStoreFile, SkipsWhatItCantRead) {
  FragmentStore store;
  store.add(makePart(0, 2, u"kept"), 100);
  const std::string good = store.serialize();
  const std::string damaged = good + "1\t2\t3\n" + "garbage\n" + "\t\t\t\t\t\t\t\t\t\t\t\t\t\n" +
                              good.substr(good.find('\n') + 1, 20) + "\n" +
                              std::string("\0\xff\xfe", 3) + "\n";
  FragmentStore copy;
  std::size_t skipped = 0;
  copy.deserialize(damaged, &skipped);
  EXPECT_EQ(copy.size(), 1u);
  EXPECT_EQ(skipped, 5u);
}

// A part read back after a restart has no storage slot; when the modem lists it again, the copy
// lends it its slot, so that the slot is freed with the message instead of never.
TEST(FragmentStoreSlots, ADuplicateLendsItsSlotToAPartWithout) {
  FragmentStore store;
  store.add(makePart(0, 2, u"a"), 100);
  const FragmentStore::Offer offer = store.add(makePart(0, 2, u"a", 5), 200);
  EXPECT_EQ(offer.outcome, FragmentStore::Outcome::kDuplicate);
  EXPECT_EQ(offer.heldSlot.index, -1);  // nothing to delete: the slot is the part's now
  store.add(makePart(1, 2, u"b", 6), 200);
  const std::vector<ReceivedPdu> parts = store.takeComplete();
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].memoryIndex, 5);
}

// Once a stale part's slot has been deleted, the modem may put another message there: the part
// must not name that slot again when its message completes.
TEST(FragmentStoreSlots, AStaleSlotIsForgottenOnceNamed) {
  FragmentStore store;
  store.add(makePart(0, 2, u"a", 4), 100);
  EXPECT_EQ(store.takeStale(makePart(0, 2, u"").time + 1), (std::vector<ModemSlot>{{4}}));
  store.add(makePart(1, 2, u"b", 9), 200);
  const std::vector<ReceivedPdu> parts = store.takeComplete();
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].memoryIndex, -1);
  EXPECT_EQ(parts[1].memoryIndex, 9);
}

// Parts kept by an earlier version name an international sender without its "+"; the rest of
// the message, read now, carries it: they are still one message.
TEST(FragmentStoreSlots, APartKeptWithoutThePlusJoinsTheRestOfItsMessage) {
  FragmentStore store;
  ReceivedPdu kept = makePart(0, 2, u"a");
  kept.party = u"4917012345";
  store.add(std::move(kept), 100);
  EXPECT_EQ(store.add(makePart(1, 2, u"b", 6), 200).outcome, FragmentStore::Outcome::kStored);
  EXPECT_EQ(store.takeComplete().size(), 2u);
}

class WaitingParts : public ::testing::Test {
 protected:
  WaitingParts() {
    settings.setInt("receiver.parts_timeout", 60);
    receiver.setSink(&sink);
    receiver.setInitializer(&init);
    receiver.setPartsFile(partsFile);
  }

  void direct(SmsReceiver& to, int number, const std::string& text) {
    const std::string bytes =
        "+CMT: ,40\r\n" + deliverHex("4917012345", text, concat(9, 3, number)) + "\r\n";
    for (const auto& event : feed.parse(bytes)) to.handle(*event);
  }

  test::LogCapture log;
  test::TempDir dir;
  const std::string partsFile = dir.file("parts");
  SettingsStore settings;
  ManualClock clock{1'000'000, 1'704'110'400};
  AsyncSerialComm channel{settings};
  test::RecordingCommandQueue queue;
  ModemInitializer init{queue, settings, nullptr};
  test::RecordingEngineSink sink;
  SmsReceiver receiver{channel, queue, settings, clock};
  test::UnsolicitedFeed feed;
};

TEST_F(WaitingParts, SurviveANewReceiver) {
  direct(receiver, 1, "one ");
  direct(receiver, 3, "three");
  EXPECT_EQ(sink.messageCount(), 0u);

  SmsReceiver restarted{channel, queue, settings, clock};
  restarted.setSink(&sink);
  restarted.setPartsFile(partsFile);
  EXPECT_EQ(restarted.waitingParts(), 2u);
  direct(restarted, 2, "two ");
  auto messages = sink.takeMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(toUtf8(messages[0].message->content), "one two three");
  EXPECT_EQ(restarted.waitingParts(), 0u);
  // The file says so too.
  SmsReceiver third{channel, queue, settings, clock};
  third.setPartsFile(partsFile);
  EXPECT_EQ(third.waitingParts(), 0u);
}

TEST_F(WaitingParts, GivenUpAfterTheTimeOutWithGaps) {
  direct(receiver, 1, "one ");
  direct(receiver, 3, " three");
  clock.advance(59'000);
  receiver.expireParts();
  EXPECT_EQ(sink.messageCount(), 0u);
  clock.advance(1'000);
  receiver.expireParts();
  auto messages = sink.takeMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].code, 1026);
  EXPECT_EQ(toUtf8(messages[0].message->content), "one [...] three");
  EXPECT_TRUE(log.contains("part(s) 2 of 3 never came")) << log.text();
  EXPECT_EQ(receiver.waitingParts(), 0u);
  SmsReceiver restarted{channel, queue, settings, clock};
  restarted.setPartsFile(partsFile);
  EXPECT_EQ(restarted.waitingParts(), 0u);
}

TEST_F(WaitingParts, ZeroKeepsThemForEver) {
  settings.setInt("receiver.parts_timeout", 0);
  direct(receiver, 2, "two");
  clock.advance(400LL * 86400 * 1000);
  receiver.expireParts();
  EXPECT_EQ(sink.messageCount(), 0u);
  EXPECT_EQ(receiver.waitingParts(), 1u);
}

// A configuration saved before the setting existed waits the default day, not for ever.
TEST_F(WaitingParts, AConfigurationWithoutTheKeyWaitsADay) {
  SettingsStore older;
  SmsReceiver receiver{channel, queue, older, clock};
  receiver.setSink(&sink);
  direct(receiver, 1, "one ");
  clock.advance(86'399'000);
  receiver.expireParts();
  EXPECT_EQ(sink.messageCount(), 0u);
  clock.advance(1'000);
  receiver.expireParts();
  EXPECT_EQ(sink.messageCount(), 1u);
}

TEST_F(WaitingParts, AnUnwritableFileKeepsThePartsInMemory) {
  SmsReceiver elsewhere{channel, queue, settings, clock};
  elsewhere.setSink(&sink);
  elsewhere.setPartsFile(dir.file("missing/folder/parts"));
  direct(elsewhere, 1, "one ");
  EXPECT_TRUE(log.contains("Can't write the waiting parts")) << log.text();
  direct(elsewhere, 2, "two ");
  direct(elsewhere, 3, "three");
  ASSERT_EQ(sink.messageCount(), 1u);
}

// The receiving thread wakes for the time-out by itself, with no modem line to wake it.
TEST_F(WaitingParts, TheThreadGivesUpOnItsOwn) {
  direct(receiver, 1, "one ");
  receiver.start();
  clock.advance(61'000);
  ASSERT_TRUE(sink.waitForMessages(1, 10000));
  receiver.stop();
  receiver.join();
  EXPECT_EQ(toUtf8(sink.takeMessages()[0].message->content), "one [...][...]");
}

// A part the parts file holds is safe: its slot is freed at once, so that a message of more
// parts than the memory has slots can't block it. Only when the file holds it, and never in
// delete mode 0.
struct SlotCase {
  const char* name;
  int deleteMode;
  bool fileWritable;
  std::vector<std::string> deletesWhileWaiting;
  std::vector<std::int32_t> slotsOfMessage;
};

void PrintTo(const SlotCase& c, std::ostream* os) { *os << c.name; }

class WaitingPartSlots : public ::testing::TestWithParam<SlotCase> {
 protected:
  void listed(int slot, int number, const std::string& text) {
    const std::string bytes = "+CMGL: " + std::to_string(slot) + ",0,,40\r\n" +
                              deliverHex("4917012345", text, concat(9, 3, number)) + "\r\n";
    for (const auto& event : feed.parse(bytes)) receiver.handle(*event);
  }

  test::LogCapture log;
  test::TempDir dir;
  SettingsStore settings;
  ManualClock clock{1'000'000, 1'704'110'400};
  AsyncSerialComm channel{settings};
  test::RecordingCommandQueue queue;
  test::RecordingEngineSink sink;
  SmsReceiver receiver{channel, queue, settings, clock};
  test::UnsolicitedFeed feed;
};

TEST_P(WaitingPartSlots, AreFreedOnceTheFileHoldsThem) {
  settings.setInt("sender.delete_mode", GetParam().deleteMode);
  receiver.setSink(&sink);
  receiver.setPartsFile(dir.file(GetParam().fileWritable ? "parts" : "missing/parts"));
  listed(4, 1, "one ");
  listed(7, 3, "three");
  std::vector<std::string> deletes;
  while (queue.waiting() > 0) deletes.push_back(queue.take());
  EXPECT_EQ(deletes, GetParam().deletesWhileWaiting);
  listed(9, 2, "two ");
  auto messages = sink.takeMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(toUtf8(messages[0].message->content), "one two three");
  std::vector<std::int32_t> slots = test::slotIndexes(*messages[0].message);
  std::sort(slots.begin(), slots.end());
  EXPECT_EQ(slots, GetParam().slotsOfMessage);
}

INSTANTIATE_TEST_SUITE_P(
    , WaitingPartSlots,
    ::testing::Values(SlotCase{"EachMessage", 1, true, {"AT+CMGD=4\r\n", "AT+CMGD=7\r\n"}, {9}},
                      SlotCase{"AllAfterCount", 2, true, {"AT+CMGD=4\r\n", "AT+CMGD=7\r\n"}, {9}},
                      SlotCase{"Never", 0, true, {}, {4, 7, 9}},
                      SlotCase{"FileNotWritten", 1, false, {}, {4, 7, 9}}),
    [](const ::testing::TestParamInfo<SlotCase>& info) { return info.param.name; });

}  // namespace
}  // namespace parlane
