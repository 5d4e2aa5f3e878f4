#include <gtest/gtest.h>

#include "engine/ReceiverRig.h"
#include "message/USSDRequest.h"

namespace parlane {
namespace {

TEST(ReceiverEmulator, InitializationFindsWhatTheEmulatorOffers) {
  test::EngineRig rig;
  ASSERT_TRUE(rig.connect(1, 0x7FFF));
  EXPECT_TRUE(rig.waitForFeatures(0x1000));
  EXPECT_EQ(rig.init->features(),
            0x3u | 0xC | 0x10 | 0x60 | 0x380 | 0x1000 | 0x4000 | 0x10000 | 0x40000 | 0x80000);
  EXPECT_EQ(toUtf8(rig.init->model()), "Emulator");
  EXPECT_EQ(rig.init->signalPercent(), 93u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(toUtf8(rig.init->memoryName(i)), "SM");
  EXPECT_EQ(rig.settings.getInt("sender.read_mode"), 0);
  EXPECT_FALSE(rig.init->problemsFound());
  EXPECT_TRUE(rig.log.contains("Sent: AT+CNMI=2,1,0,1,0"));
}

TEST(ReceiverEmulator, NewMessageNoticeAfterUssdIsReadFromSlotFive) {
  test::EngineRig rig;
  ASSERT_TRUE(rig.connect(1, 0x7FFF));
  rig.sender->enqueue(std::make_unique<USSDRequest>(u"", u"", u"*100#"));
  ASSERT_TRUE(rig.sink.waitForMessages(2));  // the request handled, the message read

  std::unique_ptr<GenericMessage> incoming;
  for (auto& m : rig.sink.takeMessages()) {
    if (m.code == 1026) incoming = std::move(m.message);
  }
  ASSERT_TRUE(incoming);
  EXPECT_EQ(toUtf8(incoming->source), "+79112847422");
  EXPECT_EQ(incoming->content, u"\u0410\u041C05548");
  EXPECT_EQ(test::slotIndexes(*incoming), (std::vector<std::int32_t>{5}));
  EXPECT_TRUE(rig.log.contains("Sent: AT+CMGR=5"));

  bool ussdReply = false;
  for (const auto& r : rig.sink.takeReplies()) {
    if (r.flag == 1 && toUtf8(r.event->text).rfind("+CUSD: 2,", 0) == 0) ussdReply = true;
  }
  EXPECT_TRUE(ussdReply);
}

}  // namespace
}  // namespace parlane
