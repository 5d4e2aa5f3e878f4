#include <gtest/gtest.h>

#include "message/MessageFlags.h"
#include "message/StatusReport.h"
#include "service/ServiceRig.h"

namespace parlane::test {
namespace {

std::unique_ptr<SMSMessage> received(const std::u16string& from, const std::u16string& text,
                                     MessageTime stamp = 1'700'000'000) {
  auto message = std::make_unique<SMSMessage>(from, u"", text);
  message->created = stamp;
  message->timestamp = stamp;
  return message;
}

std::size_t occurrences(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

class ServiceIncoming : public ::testing::Test {
 protected:
  void push(int code, std::unique_ptr<GenericMessage> message) {
    rig.service->push(ServiceItem{code, 0, std::move(message)});
  }
  ServiceRig rig;
};

TEST(ServiceIncomingDuplicates, DiscardDuplicatedComparesWithTheInboxEvenAfterARestart) {
  for (int discard : {1, 0}) {
    SCOPED_TRACE(discard);
    ServiceRig gateway;
    gateway.settings.setInt("discard_duplicated", discard);
    // Stored by an earlier run.
    gateway.stores->inbox().put(incomingRecord(*received(u"+4917012345", u"Line one\nline two"),
                                               false, gateway.stores->inbox().newIdText()));
    gateway.start();
    gateway.service->push(ServiceItem{
        1026, 0, std::unique_ptr<GenericMessage>(received(u"+4917012345", u"Line one\nline two"))});
    // Same time and sender, another text: new.
    gateway.service->push(ServiceItem{
        1026, 0, std::unique_ptr<GenericMessage>(received(u"+4917012345", u"LINE ONE\nline two"))});
    // The second one is stored after the first was handled.
    ASSERT_TRUE(eventually([&] { return gateway.count(StoreKind::Inbox) == (discard ? 2u : 3u); }));
    EXPECT_EQ(gateway.service->state().receivedCount(), 2);
    EXPECT_EQ(gateway.log.contains("Duplicated SMS ignored"), discard == 1);
  }
}

TEST_F(ServiceIncoming, DeleteAllAfterEveryFifthMessage) {
  rig.settings.setInt("sender.delete_mode", 2);
  rig.settings.setInt("sender.delete_after", 5);
  rig.start();
  ASSERT_TRUE(rig.connect());
  for (int i = 0; i < 12; ++i) {
    auto message = received(u"+4917012345", u"number " + fromAscii(std::to_string(i)));
    message->memorySlots = {{i + 1}};
    push(1026, std::move(message));
  }
  ASSERT_TRUE(eventually([&] { return rig.count(StoreKind::Inbox) == 12; }));
  ASSERT_TRUE(eventually([&] { return occurrences(rig.log.text(), "AT+CMGD=1,4") == 2; }));
  // No delete by index in this mode (the initialization's probe aside).
  EXPECT_EQ(occurrences(rig.log.text(), "AT+CMGD=") - occurrences(rig.log.text(), "AT+CMGD=?"), 2u);
}

TEST_F(ServiceIncoming, ListedMessageOutsideACycleGoesToTheWindowsMemoryList) {
  rig.start();
  push(1029, received(u"+4917012345", u"listed"));
  rig.service->state().setMemoryReadingState(4);
  // Flag 1: the listing named it unread.
  rig.service->push(ServiceItem{1029, 1, received(u"+4917012345", u"listed unread")});
  // The control panel's listing of the whole memory: read messages stay unmarked.
  push(1029, received(u"+4917012345", u"listed read"));
  ASSERT_TRUE(eventually([&] { return rig.window.found().size() == 3; }));
  EXPECT_EQ(rig.window.found()[1], (std::pair<std::string, bool>{"listed unread", true}));
  EXPECT_EQ(rig.window.found()[2], (std::pair<std::string, bool>{"listed read", false}));
  EXPECT_EQ(rig.count(StoreKind::Inbox), 0u);
}

TEST_F(ServiceIncoming, UssdReplyDuringAPollingCycleIsStillShown) {
  rig.start();
  rig.service->state().setMemoryReadingState(10);
  rig.service->push(ServiceItem{
      1027, 1,
      std::make_unique<AsyncEvent>(AsyncEvent::kInformation, 0, u"+CUSD: 0,\"Balance 5.00 EUR\",15",
                                   "+CUSD: 0,\"Balance 5.00 EUR\",15")});
  ASSERT_TRUE(rig.window.waitForBalloon("Got reply to USSD command"));
  EXPECT_EQ(rig.window.balloonsTitled("Got reply to USSD command")[0].second, "Balance 5.00 EUR");
  EXPECT_EQ(rig.service->state().memoryReadingState(), 10);
}

TEST_F(ServiceIncoming, ReportForNoSentRecordChangesNothing) {
  SMSMessage sent(u"", u"+4915212345678", u"other number");
  sent.refid = 42;
  rig.stores->sent().put(outgoingRecord(sent, StoreKind::Sent, rig.stores->sent().newIdText()));
  rig.stores->sent().save();
  const std::string before = rig.file(StoreKind::Sent);
  rig.start();
  push(1026, std::make_unique<StatusReport>(u"+4915299999999", u"", 42, 0, 0));
  push(1026, received(u"+4917012345", u"marker"));
  ASSERT_TRUE(eventually([&] { return rig.count(StoreKind::Inbox) == 1; }));
  EXPECT_TRUE(rig.window.balloonsTitled("Delivery report received").empty());
  EXPECT_EQ(rig.file(StoreKind::Sent), before);
}

TEST_F(ServiceIncoming, ReportOfAServiceCentreStillTryingMarksNothingUntilTheFinalOne) {
  SMSMessage sent(u"", u"+4915212345678", u"will arrive late");
  sent.refid = 42;
  sent.flags = messageFlags::kReport;
  const std::u16string key = rig.stores->sent().newIdText();
  rig.stores->sent().put(outgoingRecord(sent, StoreKind::Sent, key));
  rig.stores->sent().save();
  const std::string before = rig.file(StoreKind::Sent);
  rig.start();
  // 0x20: congestion, still trying.
  push(1026, std::make_unique<StatusReport>(u"+4915212345678", u"", 42, 0, 0x20));
  push(1026, received(u"+4917012345", u"marker"));
  ASSERT_TRUE(eventually([&] { return rig.count(StoreKind::Inbox) == 1; }));
  EXPECT_TRUE(rig.window.balloonsTitled("Delivery report received").empty());
  EXPECT_EQ(rig.file(StoreKind::Sent), before);
  EXPECT_TRUE(rig.log.contains("the service centre is still trying (status 0x20)"))
      << rig.log.text();

  push(1026, std::make_unique<StatusReport>(u"+4915212345678", u"", 42, 0, 0x00));
  ASSERT_TRUE(rig.window.waitForBalloon("Delivery report received"));
  const auto balloons = rig.window.balloonsTitled("Delivery report received");
  ASSERT_EQ(balloons.size(), 1u);
  EXPECT_EQ(balloons[0].second, "SMS sent to +4915212345678 was delivered successfully");
  DatabaseRecord record;
  ASSERT_TRUE(rig.stores->sent().get(key, record));
  EXPECT_EQ(rig.field(record, StoreKind::Sent, u"flags"), u"20");
}

}  // namespace
}  // namespace parlane::test
