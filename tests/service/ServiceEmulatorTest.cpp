#include <gtest/gtest.h>

#include <algorithm>

#include "core/util/Utf.h"
#include "engine/ModemInitializer.h"
#include "message/USSDRequest.h"
#include "service/ServiceRig.h"

namespace parlane::test {
namespace {

using Strings = std::vector<std::string>;

class ServiceEmulator : public ::testing::Test {
 protected:
  ServiceRig rig;
};

TEST_F(ServiceEmulator, ConnectReachesReadyAndSaysSo) {
  rig.start();
  ASSERT_TRUE(rig.connect());
  EXPECT_EQ(rig.window.states(), (std::vector<ConnectionState>{ConnectionState::Connecting,
                                                               ConnectionState::Connected}));
  EXPECT_EQ(rig.window.port(), "ttyEMU");
  EXPECT_EQ(rig.channel->getStatus(), ChannelStatus::Idle);
  EXPECT_EQ(rig.service->state().connectionState(), ConnectionState::Connected);
  EXPECT_EQ(toUtf8(rig.service->initializer().model()), "Emulator");
  ASSERT_TRUE(rig.window.waitForBalloon("Connected"));
  EXPECT_EQ(rig.window.balloonsTitled("Connected")[0].second, "Parlane is connected to ttyEMU");
  EXPECT_TRUE(rig.log.contains("Parlane version"));
  EXPECT_TRUE(rig.log.contains("Parlane is connected to ttyEMU"));
}

TEST_F(ServiceEmulator, ListingAfterConnectingFindsAnEmptyMemoryWithoutAnError) {
  rig.settings.setInt("sender.read_mode", 0);
  rig.settings.setInt("sender.delete_mode", 1);
  rig.start();
  ASSERT_TRUE(rig.connect());
  // The listing's OK starts the cycle that ends it; an error ends it at once, with a balloon.
  EXPECT_TRUE(eventually([&] { return rig.service->state().memoryReadingState() == 8; }));
  EXPECT_TRUE(rig.window.balloonsTitled("Can't read modem memory").empty());
}

TEST_F(ServiceEmulator, MessagesQueuedBeforeStartLandInSentWithTheirReferences) {
  for (const char16_t* text : {u"first", u"second", u"third"})
    rig.putInOutbox(u"+4917012345", text);
  rig.start();
  EXPECT_EQ(rig.service->queuedOutgoing(), 3u);
  ASSERT_TRUE(rig.connect());
  // A record leaves the outbox right after its copy is in "sent"; the outbox file follows with
  // its save.
  ASSERT_TRUE(eventually([&] {
    return rig.count(StoreKind::Sent) == 3 && rig.count(StoreKind::Outbox) == 0 &&
           rig.file(StoreKind::Outbox).empty();
  }));
  Strings sent;
  for (const DatabaseRecord& record : rig.records(StoreKind::Sent)) {
    sent.push_back(toUtf8(rig.field(record, StoreKind::Sent, u"content")) + "/" +
                   toUtf8(rig.field(record, StoreKind::Sent, u"refid")));
  }
  EXPECT_EQ(sent, (Strings{"first/1", "second/2", "third/3"}));
  EXPECT_EQ(rig.count(StoreKind::Outbox), 0u);
  EXPECT_EQ(rig.file(StoreKind::Outbox), "");
  // Each one was written once.
  EXPECT_EQ(static_cast<AsyncSerialEmulator&>(*rig.channel).nextMessageReference(), 4);
  EXPECT_EQ(rig.service->state().errorCount(), 0);
}

// A list is put into the outbox with one save, and goes out in its order.
TEST_F(ServiceEmulator, AListQueuedAtOnceIsSavedAndSentInOrder) {
  rig.start();
  const SMSMessage first(u"", u"+4917012345", u"one");
  const SMSMessage second(u"", u"+4917054321", u"two");
  const USSDRequest third(u"", u"", u"*100#");
  ASSERT_TRUE(rig.submit(first, second, third).allTaken());
  EXPECT_EQ(rig.service->queuedOutgoing(), 3u);
  EXPECT_EQ(rig.count(StoreKind::Outbox), 3u);
  const std::string file = rig.file(StoreKind::Outbox);
  EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 3) << file;
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(eventually([&] { return rig.count(StoreKind::Sent) == 3; }));
  Strings sent;
  for (const DatabaseRecord& record : rig.records(StoreKind::Sent)) {
    sent.push_back(toUtf8(rig.field(record, StoreKind::Sent, u"content")));
  }
  EXPECT_EQ(sent, (Strings{"one", "two", "*100#"}));
}

TEST_F(ServiceEmulator, SendSceneComesBackIntoTheInboxOnce) {
  rig.start();
  ASSERT_TRUE(rig.connect());
  rig.submit(SMSMessage(u"", u"+4917012345", u"SEND +4915198765 Hello there"));
  ASSERT_TRUE(eventually([&] { return rig.count(StoreKind::Inbox) == 1; }));
  const DatabaseRecord record = rig.records(StoreKind::Inbox)[0];
  EXPECT_EQ(rig.field(record, StoreKind::Inbox, u"from"), u"+4915198765");
  EXPECT_EQ(rig.field(record, StoreKind::Inbox, u"content"), u"Hello there");
  EXPECT_EQ(rig.field(record, StoreKind::Inbox, u"handled"), u"0");
  ASSERT_TRUE(rig.window.waitForBalloon("Got SMS from +4915198765"));
  EXPECT_EQ(rig.window.balloonsTitled("Got SMS from +4915198765")[0].second, "Hello there");
  // The balloon comes before the inbox is saved; the last message is noted before the balloon.
  ASSERT_TRUE(eventually([&] { return rig.service->state().lastReceived().has_value(); }));
  EXPECT_EQ(rig.service->state().lastReceived()->text, u"Hello there");
  EXPECT_EQ(rig.service->state().receivedCount(), 1);
  ASSERT_TRUE(eventually([&] { return rig.count(StoreKind::Sent) == 1; }));
  EXPECT_EQ(rig.count(StoreKind::Inbox), 1u);
}

TEST_F(ServiceEmulator, UssdReplyIsShownDecodedAndTheNoticeAfterItIsRead) {
  rig.start();
  ASSERT_TRUE(rig.connect());
  rig.submit(USSDRequest(u"", u"", u"*100#"));
  ASSERT_TRUE(rig.window.waitForBalloon("Got reply to USSD command"));
  EXPECT_EQ(rig.window.balloonsTitled("Got reply to USSD command")[0].second,
            "Your current balance is $ 22.10");
  ASSERT_TRUE(eventually([&] { return rig.count(StoreKind::Sent) == 1; }));
  EXPECT_EQ(rig.field(rig.records(StoreKind::Sent)[0], StoreKind::Sent, u"type"), u"ussd");
  // The "+CMTI" that follows the reply has slot 5 read and stored.
  ASSERT_TRUE(eventually([&] { return rig.count(StoreKind::Inbox) == 1; }));
}

}  // namespace
}  // namespace parlane::test
