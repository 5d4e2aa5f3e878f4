// "incoming.deny": messages from unwanted senders never show; they are dropped or stored as
// handled, and their modem memory is freed whatever "sender.delete_mode" says.
#include <gtest/gtest.h>

#include "service/ServiceRig.h"

namespace parlane::test {
namespace {

struct DenyCase {
  const char* name;
  std::u16string deny;
  int action;
  int deleteMode;
  std::u16string from;
  // What the inbox holds of the message: nothing, or its "handled" column.
  const char16_t* handled;
  bool shown;          // a balloon and an event-worthy new message
  bool slotDeleted;    // "AT+CMGD=7" went to the modem
  const char* logged;  // a line the log must hold (empty: none)
};

const DenyCase kDenyCases[] = {
    {"NoListKeepsAndShows", u"", 0, 0, u"+4917012345", u"0", true, false, ""},
    {"OtherSenderKeptAndFreedAsUsual", u"+43", 0, 1, u"+4917012345", u"0", true, true, ""},
    {"DeniedSenderDroppedAndFreed", u"+49170", 0, 0, u"+4917012345", nullptr, false, true,
     "SMS from +4917012345 dropped: \"+49170\" in incoming.deny"},
    {"DeniedSenderWithoutPlusInTheList", u"49170", 0, 0, u"+4917012345", nullptr, false, true,
     "dropped"},
    {"DeniedSenderStoredAsHandled", u"+49170", 1, 0, u"+4917012345", u"1", false, true,
     "SMS from +4917012345 stored as handled: \"+49170\" in incoming.deny"},
    {"DeniedNameIgnoresCase", u"SpamCo, +1900", 0, 2, u"SPAMCO", nullptr, false, true, "dropped"},
};

class IncomingDeny : public testing::TestWithParam<DenyCase> {};

TEST_P(IncomingDeny, UnwantedSendersNeverShowAndFreeTheirSlot) {
  const DenyCase& c = GetParam();
  ServiceRig rig;
  rig.settings.setString("incoming.deny", c.deny);
  rig.settings.setInt("incoming.deny_action", c.action);
  rig.settings.setInt("sender.delete_mode", c.deleteMode);
  rig.start();
  ASSERT_TRUE(rig.connect());
  auto message = std::make_unique<SMSMessage>(c.from, u"", u"buy now");
  message->timestamp = 1'700'000'000;
  message->memorySlots = {{7}};
  rig.service->push(ServiceItem{1026, 0, std::move(message)});
  // A message after it, from nobody's list, tells when the first one has been dealt with.
  rig.service->push(
      ServiceItem{1026, 0, std::make_unique<SMSMessage>(u"+4411111", u"", u"marker")});
  ASSERT_TRUE(eventually([&] { return rig.window.received().size() == (c.shown ? 2u : 1u); }));

  std::vector<std::u16string> handled;
  for (const DatabaseRecord& record : rig.records(StoreKind::Inbox)) {
    if (rig.field(record, StoreKind::Inbox, u"content") == u"buy now")
      handled.push_back(rig.field(record, StoreKind::Inbox, u"handled"));
  }
  if (c.handled == nullptr) {
    EXPECT_TRUE(handled.empty());
  } else {
    EXPECT_EQ(handled, std::vector<std::u16string>{c.handled});
  }
  EXPECT_EQ(rig.window.balloonsTitled("Got SMS from " + toUtf8(c.from)).size(), c.shown ? 1u : 0u);
  // A delete queued behind whatever the message asked for: once it is written, so is that.
  rig.service->deleteFromModem({9});
  ASSERT_TRUE(eventually([&] { return rig.log.contains("AT+CMGD=9"); })) << rig.log.text();
  EXPECT_EQ(rig.log.contains("AT+CMGD=7"), c.slotDeleted) << rig.log.text();
  if (*c.logged != '\0') {
    EXPECT_TRUE(rig.log.contains(c.logged)) << rig.log.text();
  }
}

INSTANTIATE_TEST_SUITE_P(Lists, IncomingDeny, testing::ValuesIn(kDenyCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace parlane::test
