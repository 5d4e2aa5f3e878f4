#include <gtest/gtest.h>

#include "core/settings/SettingsStore.h"
#include "core/util/Clock.h"
#include "engine/ModemInitializer.h"
#include "engine/ReceiverTestSupport.h"
#include "engine/SmsReceiver.h"
#include "gsm/PushEncoder.h"
#include "message/PushMessage.h"
#include "message/StatusReport.h"
#include "transport/AsyncSerialComm.h"

namespace parlane {
namespace {

using test::concat;
using test::deliverHex;
using Strings = std::vector<std::string>;

// A status report for reference 42 to +4915212345678, delivered (status 0).
constexpr char kReportPdu[] =
    "0791447758100650062A0D91945112325476F8622190010000406221900100504000";

// The receiver fed with what the parser gives its slot, without its thread.
class ReceiverEvents : public ::testing::Test {
 protected:
  ReceiverEvents() {
    receiver.setSink(&sink);
    receiver.setInitializer(&init);
    for (int i = 0; i < 3; ++i) init.setMemoryName(i, u"SM");
  }

  void feed(const std::string& bytes) {
    for (const auto& event : unsolicited.parse(bytes)) receiver.handle(*event);
  }
  // The reply to the read of `slot`: the channel stamps its lines with the slot.
  void answering(int slot, const std::string& bytes) {
    for (const auto& event : unsolicited.parse(bytes)) {
      event->memoryIndex = slot;
      receiver.handle(*event);
    }
  }
  // A part announced with +CMT: it comes with the message, no storage index.
  void direct(const std::string& pdu) { feed("+CMT: ,40\r\n" + pdu + "\r\n"); }
  void listed(int index, const std::string& pdu) {
    feed("+CMGL: " + std::to_string(index) + ",0,,40\r\n" + pdu + "\r\n");
  }

  test::LogCapture log;
  SettingsStore settings;
  ManualClock clock{1'000'000, 1'704'110'400};  // 2024-01-01 12:00:00 UTC
  AsyncSerialComm channel{settings};
  test::RecordingCommandQueue queue;
  test::RecordingNotifier notifier;
  ModemInitializer init{queue, settings, &notifier};
  test::RecordingEngineSink sink;
  SmsReceiver receiver{channel, queue, settings, clock};
  test::UnsolicitedFeed unsolicited;
};

TEST_F(ReceiverEvents, PartsInAnyOrderMakeOneMessageAfterTheLast) {
  listed(7, deliverHex("4917012345", "world", concat(9, 3, 2)));
  listed(3, deliverHex("4917012345", "Hello ", concat(9, 3, 1)));
  EXPECT_EQ(sink.messageCount(), 0u);
  listed(8, deliverHex("4917012345", "!", concat(9, 3, 3)));

  auto messages = sink.takeMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].code, 1029);
  const GenericMessage& m = *messages[0].message;
  EXPECT_EQ(m.getType(), 1);
  EXPECT_EQ(toUtf8(m.content), "Hello world!");
  EXPECT_EQ(toUtf8(m.source), "+4917012345");
  EXPECT_EQ(m.segments, 3);
  EXPECT_EQ(test::slotIndexes(m), (std::vector<std::int32_t>{3, 7, 8}));
  EXPECT_EQ(m.timestamp, 1'704'110'400);
  EXPECT_EQ(m.created, m.timestamp) << "a message read twice must compare equal";
  EXPECT_EQ(receiver.waitingParts(), 0u);
}

TEST_F(ReceiverEvents, SamePartTwiceIsDroppedAndTheHeldCopyDeleted) {
  listed(4, deliverHex("4917012345", "Hello ", concat(9, 2, 1)));
  listed(11, deliverHex("4917012345", "Hello ", concat(9, 2, 1)));
  EXPECT_TRUE(log.contains("Duplicate PDU ignored"));
  EXPECT_EQ(queue.all(), (Strings{"AT+CMGD=4\r\n"}));
  listed(5, deliverHex("4917012345", "again", concat(9, 2, 2)));
  auto messages = sink.takeMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(toUtf8(messages[0].message->content), "Hello again");
  EXPECT_EQ(test::slotIndexes(*messages[0].message), (std::vector<std::int32_t>{4, 5}));
}

TEST_F(ReceiverEvents, ADuplicateOfAnUnstoredPartDeletesNothing) {
  direct(deliverHex("4917012345", "Hello ", concat(9, 2, 1)));
  direct(deliverHex("4917012345", "Hello ", concat(9, 2, 1)));
  EXPECT_TRUE(log.contains("Duplicate PDU ignored"));
  EXPECT_TRUE(queue.all().empty()) << "no AT+CMGD=-1";
}

TEST_F(ReceiverEvents, PartsOfDifferentSendersWithOneReferenceNeverMix) {
  direct(deliverHex("4917011111", "A1 ", concat(5, 2, 1)));
  direct(deliverHex("4917022222", "B1 ", concat(5, 2, 1)));
  EXPECT_FALSE(log.contains("Duplicate PDU ignored"));
  // A plain message has reference 0 and part 1 like a long one with reference 0.
  direct(deliverHex("4917022222", "B-long ", concat(0, 2, 1)));
  direct(deliverHex("4917022222", "plain"));
  direct(deliverHex("4917011111", "A2", concat(5, 2, 2)));
  direct(deliverHex("4917022222", "B2", concat(5, 2, 2)));

  Strings texts;
  for (const auto& m : sink.takeMessages()) texts.push_back(toUtf8(m.message->content));
  EXPECT_EQ(texts, (Strings{"plain", "A1 A2", "B1 B2"}));
  EXPECT_EQ(receiver.waitingParts(), 1u);
}

TEST_F(ReceiverEvents, PartNumbersOutsideTheStoreAreDropped) {
  struct Case {
    int index;
    int total;
  };
  for (const Case c : {Case{-1, 3}, Case{256, 300}, Case{0, 257}, Case{3, 3}}) {
    ReceivedPdu part;
    part.reference = 1;
    part.index = c.index;
    part.total = c.total;
    part.text = u"x";
    receiver.processPdu(part, SmsReceiver::kDirectMessage);
  }
  EXPECT_EQ(receiver.waitingParts(), 0u);
  EXPECT_EQ(sink.messageCount(), 0u);
  EXPECT_TRUE(log.contains("Concatenated SMS part 0 of 3 is out of range, dropped"));
  EXPECT_TRUE(log.contains("Concatenated SMS part 257 of 300 is out of range, dropped"));
  EXPECT_TRUE(log.contains("Concatenated SMS part 1 of 257 is out of range, dropped"));
  EXPECT_TRUE(log.contains("Concatenated SMS part 4 of 3 is out of range, dropped"));

  // The last part of 256 is the largest that is kept.
  ReceivedPdu last;
  last.reference = 1;
  last.index = 255;
  last.total = 256;
  receiver.processPdu(last, SmsReceiver::kDirectMessage);
  EXPECT_EQ(receiver.waitingParts(), 1u);
}

TEST_F(ReceiverEvents, StalePartsAreDeletedOnceInDeleteModeOne) {
  settings.setInt("sender.delete_mode", 1);
  listed(2, deliverHex("4917012345", "old ", concat(1, 2, 1), "231231235959"));  // 12 h 1 s
  listed(6, deliverHex("4917012345", "new ", concat(2, 2, 1), "240101000100"));  // 11 h 59 min
  EXPECT_EQ(queue.all(), (Strings{"AT+CMGD=2\r\n"}));
  listed(9, deliverHex("4917012345", "other", concat(3, 2, 1)));
  EXPECT_EQ(queue.all(), (Strings{"AT+CMGD=2\r\n"})) << "each stale part is deleted once";
  EXPECT_EQ(receiver.waitingParts(), 3u) << "the part itself stays";

  clock.advance(61'000);  // now 12 h 0 min 1 s
  listed(10, deliverHex("4917012345", "more", concat(4, 2, 1)));
  EXPECT_EQ(queue.all(), (Strings{"AT+CMGD=2\r\n", "AT+CMGD=6\r\n"}));
}

TEST_F(ReceiverEvents, StalePartsStayInOtherDeleteModes) {
  settings.setInt("sender.delete_mode", 2);
  listed(2, deliverHex("4917012345", "old ", concat(1, 2, 1), "230101000000"));
  EXPECT_TRUE(queue.all().empty());
}

TEST_F(ReceiverEvents, StatusReportAfterCds) {
  feed(std::string("+CDS: 25\r\n") + kReportPdu + "\r\n");
  auto messages = sink.takeMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].code, 1026);
  ASSERT_EQ(messages[0].message->getType(), 4);
  const auto& report = static_cast<const StatusReport&>(*messages[0].message);
  EXPECT_EQ(report.refid, 42);
  EXPECT_EQ(toUtf8(report.source), "+4915212345678");
  EXPECT_EQ(report.reportStatus, 0);
  EXPECT_TRUE(report.memorySlots.empty());
}

TEST_F(ReceiverEvents, PushAcrossTwoPartsIsDecodedFromTheJoinedData) {
  const Octets body = PushEncoder::buildPushBody(u"http://example.org/x", u"Your news", 7);
  const Octets port = PushEncoder::buildPortElement();
  const std::string first(body.begin(), body.begin() + 10);
  const std::string second(body.begin() + 10, body.end());
  auto header = [&](int number) {
    std::vector<std::uint8_t> h(port.begin(), port.end());
    for (auto o : concat(77, 2, number)) h.push_back(o);
    return h;
  };
  direct(deliverHex("4917012345", second, header(2)));
  direct(deliverHex("4917012345", first, header(1)));
  auto messages = sink.takeMessages();
  ASSERT_EQ(messages.size(), 1u);
  ASSERT_EQ(messages[0].message->getType(), 2);
  EXPECT_EQ(toUtf8(messages[0].message->getUrl()), "http://example.org/x");
  EXPECT_EQ(toUtf8(messages[0].message->content), "Your news");
}

TEST_F(ReceiverEvents, PortAddressedDataThatIsNoPushIsKeptAsText) {
  direct(deliverHex("4917012345", "raw", PushEncoder::buildPortElement()));
  auto messages = sink.takeMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].message->getType(), 1);
  EXPECT_EQ(toUtf8(messages[0].message->content), "raw");
}

TEST_F(ReceiverEvents, IndexNoticeForTheSelectedStorageOnlyReads) {
  feed("+CMTI: \"SM\",3\r\n");
  EXPECT_EQ(queue.all(), (Strings{"AT+CMGR=3\r\n"}));
  EXPECT_EQ(receiver.expect(), SmsReceiver::kIndexedMessage);
}

TEST_F(ReceiverEvents, IndexNoticeWithoutStorageKeepsTheSelectedOne) {
  feed("+CMTI: ,3\r\n");
  EXPECT_EQ(queue.all(), (Strings{"AT+CMGR=3\r\n"}));
  EXPECT_EQ(toUtf8(init.memoryName(0)), "SM");
}

TEST_F(ReceiverEvents, IndexNoticeForAnotherStorageSelectsItFirst) {
  init.setMemoryName(0, u"ME");
  feed("+CMTI: \"SM\",3\r\n");
  EXPECT_EQ(queue.all(), (Strings{"AT+CPMS=\"SM\",\"SM\",\"SM\"\r\n", "AT+CMGR=3\r\n"}));
  EXPECT_EQ(toUtf8(init.memoryName(0)), "SM");
  feed("+CDSI: \"SR\",0\r\n");
  EXPECT_EQ(queue.all().at(2), "AT+CPMS=\"SR\",\"SM\",\"SM\"\r\n");
  EXPECT_EQ(receiver.expect(), SmsReceiver::kIndexedReport);
}

TEST_F(ReceiverEvents, ReadMessageKeepsTheIndexOfItsOwnNotice) {
  const std::string first = deliverHex("4917012345", "first");
  const std::string second = deliverHex("4917012345", "second");
  // Both notices come before the first read is answered.
  feed("+CMTI: \"SM\",5\r\n+CMTI: \"SM\",6\r\n");
  answering(5, "+CMGR: 0,,30\r\n" + first + "\r\n");
  answering(6, "+CMGR: 0,,30\r\n" + second + "\r\n");
  auto messages = sink.takeMessages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(test::slotIndexes(*messages[0].message), (std::vector<std::int32_t>{5}));
  EXPECT_EQ(test::slotIndexes(*messages[1].message), (std::vector<std::int32_t>{6}));
}

TEST_F(ReceiverEvents, AFailedReadDoesNotShiftTheNextOne) {
  feed("+CMTI: \"SM\",5\r\n+CMTI: \"SM\",6\r\n");
  // The read of 5 is answered "+CMS ERROR: 321" on the sender's slot.
  answering(6, "+CMGR: 0,,30\r\n" + deliverHex("4917012345", "six") + "\r\n");
  auto messages = sink.takeMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(test::slotIndexes(*messages[0].message), (std::vector<std::int32_t>{6}));
}

TEST_F(ReceiverEvents, AReadOfNoKnownSlotIsNeverDeleted) {
  // Announced, but the reply comes after its read was given up: its slot is not known for sure.
  feed("+CMTI: \"SM\",5\r\n");
  feed("+CMGR: 0,,30\r\n" + deliverHex("4917012345", "late") + "\r\n");
  auto messages = sink.takeMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(toUtf8(messages[0].message->content), "late");
  EXPECT_TRUE(messages[0].message->memorySlots.empty());
}

TEST_F(ReceiverEvents, ListedMessageIsFoundWithItsIndex) {
  listed(5, deliverHex("4917012345", "stored"));
  auto messages = sink.takeMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].code, 1029);
  EXPECT_EQ(test::slotIndexes(*messages[0].message), (std::vector<std::int32_t>{5}));
}

// The listing's status field travels with what it found: flag 1 for a message the modem kept
// unread, so that the memory page can say so.
TEST_F(ReceiverEvents, ListedMessageSaysWhetherTheModemKeptItUnread) {
  feed("+CMGL: 5,1,,30\r\n" + deliverHex("4917012345", "read before") + "\r\n");
  feed("+CMGL: 6,0,,30\r\n" + deliverHex("4917012345", "not read yet") + "\r\n");
  // One unread part makes the message unread.
  feed("+CMGL: 7,1,,40\r\n" + deliverHex("4917012345", "one ", concat(9, 2, 1)) + "\r\n");
  feed("+CMGL: 8,0,,40\r\n" + deliverHex("4917012345", "two", concat(9, 2, 2)) + "\r\n");
  settings.setInt("sender.send_mode", 1);
  feed("+CMGL: 9,\"REC UNREAD\",\"+2784\",,\"13/02/07,06:24:02+08\"\r\nText unread\r\n");
  feed("+CMGL: 10,\"REC READ\",\"+2784\",,\"13/02/07,06:24:02+08\"\r\nText read\r\n");
  // The same slot listed again later, read by then.
  settings.setInt("sender.send_mode", 0);
  feed("+CMGL: 6,1,,30\r\n" + deliverHex("4917012345", "not read yet") + "\r\n");
  auto messages = sink.takeMessages();
  ASSERT_EQ(messages.size(), 6u);
  std::vector<std::pair<std::string, int>> flags;
  for (const auto& m : messages) flags.emplace_back(toUtf8(m.message->content), m.flag);
  EXPECT_EQ(flags, (std::vector<std::pair<std::string, int>>{{"read before", 0},
                                                             {"not read yet", 1},
                                                             {"one two", 1},
                                                             {"Text unread", 1},
                                                             {"Text read", 0},
                                                             {"not read yet", 0}}));
}

TEST_F(ReceiverEvents, TextModeHeadersGiveSenderAndTime) {
  settings.setInt("sender.send_mode", 1);
  feed("+CMT: \"+27748577604\",,\"13/01/28,14:51:42+08\"\r\nHello raspberry pi\r\n");
  feed("+CMGL: 2,\"REC READ\",\"+27840001463\",,\"13/02/07,06:24:02+08\"\r\nStandard Bank\r\n");
  feed("+CMGR: \"REC UNREAD\",\"+2781\",,\"13/02/07,01:31:44+08\"\r\nOK\r\nRead one\r\n");
  auto messages = sink.takeMessages();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].code, 1026);
  EXPECT_EQ(toUtf8(messages[0].message->source), "+27748577604");
  EXPECT_EQ(toUtf8(messages[0].message->content), "Hello raspberry pi");
  EXPECT_EQ(messages[0].message->timestamp, 1'359'384'702);  // 2013-01-28 14:51:42 UTC
  EXPECT_TRUE(messages[0].message->memorySlots.empty());
  EXPECT_EQ(messages[1].code, 1029);
  EXPECT_EQ(toUtf8(messages[1].message->source), "+27840001463");
  EXPECT_EQ(test::slotIndexes(*messages[1].message), (std::vector<std::int32_t>{2}));
  EXPECT_EQ(messages[1].message->timestamp, 1'360'218'242);  // 2013-02-07 06:24:02 UTC
  EXPECT_EQ(messages[2].code, 1026);
  EXPECT_EQ(toUtf8(messages[2].message->source), "+2781");
  EXPECT_EQ(toUtf8(messages[2].message->content), "Read one");
}

TEST_F(ReceiverEvents, TextModeHeaderWithMissingFieldsKeepsWhatItLacks) {
  settings.setInt("sender.send_mode", 1);
  feed("+CMT: \"+27748577604\",,\"13/01/28,14:51:42+08\"\r\nfirst\r\n");
  feed("+CMGR: \"REC UNREAD\"\r\nsecond\r\n");
  auto messages = sink.takeMessages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(toUtf8(messages[1].message->source), "+27748577604");
  EXPECT_EQ(messages[1].message->timestamp, messages[0].message->timestamp);
}

TEST_F(ReceiverEvents, ErrorsAndUssdRepliesGoToTheServiceThread) {
  // An error right after a header reaches this slot; a +CUSD line always does.
  feed("+CMGR: 0,,30\r\n+CMS ERROR: 321\r\n+CUSD: 2,\"Your balance\",15\r\n");
  auto replies = sink.takeReplies();
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[0].code, 1027);
  EXPECT_EQ(replies[0].flag, 0);
  EXPECT_EQ(toUtf8(replies[0].event->text), "Invalid memory index");
  EXPECT_EQ(replies[1].flag, 1);
  EXPECT_EQ(toUtf8(replies[1].event->text), "+CUSD: 2,\"Your balance\",15");
  EXPECT_TRUE(log.contains("Serial port: Invalid memory index"));
}

TEST_F(ReceiverEvents, UssdTestResponseGoesToTheInitializerNotTheUser) {
  feed("+CUSD: (0,1)\r\n");
  EXPECT_TRUE(sink.takeReplies().empty()) << "no \"Got reply to USSD command\" balloon for it";
  EXPECT_EQ(init.features() & 0x3000u, 0x3000u);
}

TEST_F(ReceiverEvents, BadInputIsLoggedAndTheNextMessageStillArrives) {
  // A PDU line that is not hexadecimal, a listing cut in the middle of its PDU, a notice whose
  // index is not a number, and an event kind that never belongs here.
  listed(1, "07917248014000F3240B91724758770GARBAGE");
  listed(2, deliverHex("4917012345", "cut short").substr(0, 30));
  feed("+CMTI: \"SM\",\r\n+CMTI: \"SM\",x1\r\n+CMTI: \"SM\"\r\n");
  receiver.handle(AsyncEvent(AsyncEvent::kOk, 0, u"OK", "OK"));
  EXPECT_TRUE(queue.all().empty());
  EXPECT_EQ(sink.messageCount(), 0u);
  EXPECT_TRUE(log.contains("Received PDU can't be decoded, skipped"));
  EXPECT_TRUE(log.contains("Invalid storage index, notification ignored"));
  EXPECT_TRUE(log.contains("Serial port: unexpected reply! Type: 2 Content: OK"));

  listed(3, deliverHex("4917012345", "still fine"));
  auto messages = sink.takeMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(toUtf8(messages[0].message->content), "still fine");
}

}  // namespace
}  // namespace parlane
