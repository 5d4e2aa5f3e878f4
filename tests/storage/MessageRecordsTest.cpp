#include <gtest/gtest.h>

#include "core/util/Clock.h"
#include "message/PushMessage.h"
#include "message/SMSMessage.h"
#include "message/USSDRequest.h"
#include "storage/MessageRecords.h"

namespace parlane {
namespace {

SMSMessage sample() {
  SMSMessage message(u"+491700000001", u"0170 555\t1", u"Hi\r\nthere\tyou", 77);
  message.timestamp = 1700000000;
  message.expiry = 1700000000 + 3600;
  message.segments = 2;
  message.dstton = 2;
  message.flags = 5;
  message.attempts = 1;
  message.refid = 9;
  message.custom = u"tag\none";
  return message;
}

TEST(OutgoingRecord, OutboxLayout) {
  EXPECT_EQ(outgoingRecord(sample(), StoreKind::Outbox, u"0000000a"),
            (DatabaseRecord{u"0000000a", u"1700000000", u"0170 555 1", u"sms", u"2",
                            u"Hi%0D%0Athere%09you", u"", u"2", u"5", u"77", u"1", u"+491700000001",
                            u"3600", u"tag one", u"", u""}));
}

TEST(OutgoingRecord, SentLayoutHasTheReference) {
  const DatabaseRecord record = outgoingRecord(sample(), StoreKind::Sent, u"00000001");
  ASSERT_EQ(record.size(), 14u);
  EXPECT_EQ(record[10], u"9");
  EXPECT_EQ(record[11], u"+491700000001");
}

TEST(OutgoingRecord, FailedLayoutHasNoAttempts) {
  const DatabaseRecord record = outgoingRecord(sample(), StoreKind::Failed, u"00000001");
  EXPECT_EQ(record, (DatabaseRecord{u"00000001", u"1700000000", u"0170 555 1", u"sms", u"2",
                                    u"Hi%0D%0Athere%09you", u"", u"2", u"5", u"77",
                                    u"+491700000001", u"3600", u"tag one"}));
}

TEST(OutgoingRecord, PushKeepsItsUrl) {
  PushMessage push(u"", u"+4917", u"News", u"http://example.org/a\tb", 5);
  const DatabaseRecord record = outgoingRecord(push, StoreKind::Outbox, u"00000002");
  EXPECT_EQ(record[3], u"push");
  EXPECT_EQ(record[6], u"http://example.org/a b");
}

TEST(IncomingRecord, InboxLayout) {
  SMSMessage message = sample();
  EXPECT_EQ(incomingRecord(message, false, u"00000003"),
            (DatabaseRecord{u"00000003", u"1700000000", u"+491700000001", u"sms",
                            u"Hi%0D%0Athere%09you", u"", u"0", u"5", u"0", u"77", u""}));
  EXPECT_EQ(incomingRecord(message, true, u"00000003")[6], u"1");
}

struct RebuildCase {
  const char* name;
  const char16_t* type;
  int typeCode;
};

void PrintTo(const RebuildCase& c, std::ostream* os) { *os << c.name; }

class MessageFromRecordTypes : public ::testing::TestWithParam<RebuildCase> {};

TEST_P(MessageFromRecordTypes, RebuildsTheMessage) {
  DatabaseRecord record = outgoingRecord(sample(), StoreKind::Outbox, u"0000000a");
  record[3] = GetParam().type;
  record[6] = u"http://x";
  const ManualClock clock(0, 1'650'000'000);
  auto message = messageFromRecord(record, StoreKind::Outbox, clock);
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(message->created, 1'650'000'000) << "rebuilt now, by the given clock";
  EXPECT_EQ(message->getType(), GetParam().typeCode);
  EXPECT_EQ(message->uniqueid, 77);
  EXPECT_EQ(message->to, u"0170 555 1");
  EXPECT_EQ(message->source, u"+491700000001");
  EXPECT_EQ(message->content, u"Hi\r\nthere\tyou");
  EXPECT_EQ(message->dstton, 2);
  EXPECT_EQ(message->flags, 5);
  EXPECT_EQ(message->attempts, 1);
  EXPECT_EQ(message->expiry - message->created, 3600);
  EXPECT_EQ(message->custom, u"tag one");
  EXPECT_EQ(message->getUrl(), GetParam().typeCode == 2 ? u"http://x" : u"");
}

INSTANTIATE_TEST_SUITE_P(Types, MessageFromRecordTypes,
                         ::testing::Values(RebuildCase{"Sms", u"sms", 1},
                                           RebuildCase{"Push", u"push", 2},
                                           RebuildCase{"Ussd", u"ussd", 3}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MessageFromRecord, UnknownTypeGivesNothing) {
  DatabaseRecord record = outgoingRecord(sample(), StoreKind::Outbox, u"0000000a");
  record[3] = u"sr";
  EXPECT_EQ(messageFromRecord(record, StoreKind::Outbox), nullptr);
}

TEST(MessageFromRecord, ZeroValidityKeepsTheDefaultExpiry) {
  DatabaseRecord record = outgoingRecord(sample(), StoreKind::Failed, u"0000000a");
  record[11] = u"0";
  auto message = messageFromRecord(record, StoreKind::Failed);
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(message->expiry - message->timestamp, 86400);
  EXPECT_EQ(message->attempts, 0);  // the failed folder keeps no attempts
}

}  // namespace
}  // namespace parlane
