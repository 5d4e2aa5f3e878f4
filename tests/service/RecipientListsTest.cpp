// "numbers.allow" and "numbers.deny" at the outbox's door: a request that names a number it may
// not send to leaves nothing in the outbox, and says which number and why.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "message/SMSMessage.h"
#include "message/USSDRequest.h"
#include "service/ServiceRig.h"

namespace parlane {
namespace {

struct DoorCase {
  const char* name;
  std::u16string allow;
  std::u16string deny;
  SubmitBatch batch;
  std::vector<std::u16string> numbers;
  std::size_t taken;
  std::vector<std::string> notAllowed;  // the reasons of the numbers refused by the lists
};

const DoorCase kDoorCases[] = {
    {"NoListsTakeAll",
     u"",
     u"",
     SubmitBatch::EachOnItsOwn,
     {u"+4917012345", u"+19005551234"},
     2,
     {}},
    {"DeniedNumberKeepsTheDialogsOthersOut",
     u"",
     u"+1900",
     SubmitBatch::EachOnItsOwn,
     {u"+4917012345", u"+19005551234", u"+4917054321"},
     0,
     {"+19005551234: not allowed"}},
    {"DeniedNumberKeepsTheSpoolFileOut",
     u"",
     u"+1900",
     SubmitBatch::AllOrNothing,
     {u"+4917012345", u"+19005551234"},
     0,
     {"+19005551234: not allowed"}},
    {"EveryDeniedNumberIsNamed",
     u"",
     u"+1900, +1976",
     SubmitBatch::EachOnItsOwn,
     {u"+19005551234", u"+4917012345", u"+19765551234"},
     0,
     {"+19005551234: not allowed", "+19765551234: not allowed"}},
    {"NumberOutsideTheAllowList",
     u"+49",
     u"",
     SubmitBatch::EachOnItsOwn,
     {u"+4917012345", u"+4317012345"},
     0,
     {"+4317012345: not allowed"}},
    {"AllowedNumbersBesideADeniedRange",
     u"+49",
     u"+49900",
     SubmitBatch::EachOnItsOwn,
     {u"+4917012345", u"004917099999"},
     2,
     {}},
    {"DenyWinsOverAllow",
     u"+49",
     u"+49900",
     SubmitBatch::EachOnItsOwn,
     {u"+49900123456"},
     0,
     {"+49900123456: not allowed"}},
};

class RecipientListDoor : public testing::TestWithParam<DoorCase> {};

TEST_P(RecipientListDoor, RefusedNumberLeavesNothingQueued) {
  const DoorCase& c = GetParam();
  test::ServiceRig rig;
  rig.settings.setString("numbers.allow", c.allow);
  rig.settings.setString("numbers.deny", c.deny);
  rig.start();
  std::vector<std::unique_ptr<GenericMessage>> batch;
  for (const std::u16string& number : c.numbers)
    batch.push_back(std::make_unique<SMSMessage>(u"", number, u"hello"));
  const SubmitResult result = rig.service->submit(std::move(batch), c.batch);

  EXPECT_EQ(result.taken(), c.taken);
  std::vector<std::string> notAllowed;
  for (const RefusedMessage& refused : result.refused) {
    if (refused.why == SubmitRefusal::NotAllowed) notAllowed.push_back(toUtf8(refused.reason));
  }
  EXPECT_EQ(notAllowed, c.notAllowed);
  EXPECT_EQ(rig.count(StoreKind::Outbox), c.taken);
  EXPECT_EQ(rig.service->queuedOutgoing(), c.taken);
}

INSTANTIATE_TEST_SUITE_P(Lists, RecipientListDoor, testing::ValuesIn(kDoorCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RecipientListDoorRewrite, TheNumberIsCheckedAsItWillBeSent) {
  test::ServiceRig rig;
  // "0170..." becomes "+49170...", which the deny list names.
  rig.settings.setString("ton_src_prefix", u"0");
  rig.settings.setString("ton_dst_prefix", u"+49");
  rig.settings.setString("numbers.deny", u"+49170");
  rig.start();
  const SubmitResult result = rig.submit(SMSMessage(u"", u"017012345", u"hello"));
  ASSERT_EQ(result.refused.size(), 1u);
  EXPECT_EQ(result.refused[0].why, SubmitRefusal::NotAllowed);
  EXPECT_EQ(toUtf8(result.refused[0].reason), "+4917012345: not allowed");
  EXPECT_EQ(rig.count(StoreKind::Outbox), 0u);
}

TEST(RecipientListDoorUssd, AUssdRequestNamesNoNumber) {
  test::ServiceRig rig;
  rig.settings.setString("numbers.deny", u"*");
  rig.start();
  EXPECT_TRUE(rig.submit(USSDRequest(u"", u"", u"*100#")).allTaken());
}

}  // namespace
}  // namespace parlane
