#include <gtest/gtest.h>

#include "core/util/Utf.h"
#include "message/SMSMessage.h"
#include "storage/MessageRecords.h"
#include "storage/StoresFixture.h"

namespace parlane::test {
namespace {

// An outbox line as the folder holds it: id to custom, then whatever `tail` adds.
std::string outboxLine(const std::string& id, const std::string& tail) {
  return id + "\t1700000000\t+4917012345\tsms\t1\thello\t\t1\t0\t42\t0\t\t86400\ttag" + tail +
         "\r\n";
}

struct TimesCase {
  const char* name;
  std::string tail;  // after the "custom" field
  MessageTime notBefore;
  MessageTime expires;
};

void PrintTo(const TimesCase& c, std::ostream* os) { *os << c.name; }

class OutboxTimesColumns : public ::testing::TestWithParam<TimesCase> {};

TEST_P(OutboxTimesColumns, LoadIntoTheMessage) {
  StoresFixture f;
  const std::string file = outboxLine("00000001", GetParam().tail);
  f.dir.write("outbox.txt", file);
  ASSERT_TRUE(f.stores->open());
  DatabaseRecord record;
  ASSERT_TRUE(f.stores->outbox().get(u"00000001", record));
  const auto message = messageFromRecord(record, StoreKind::Outbox);
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(message->notBefore, GetParam().notBefore);
  EXPECT_EQ(message->expires, GetParam().expires);
  EXPECT_EQ(message->content, u"hello");
  EXPECT_EQ(message->custom, u"tag");
  EXPECT_EQ(message->uniqueid, 42);

  // Another message queued beside it leaves its line as it was.
  SMSMessage next(u"", u"+4917054321", u"next");
  f.stores->outbox().put(outgoingRecord(next, StoreKind::Outbox, u"00000002"));
  ASSERT_EQ(f.stores->outbox().save(), 0);
  EXPECT_EQ(f.dir.read("outbox.txt").substr(0, file.size()), file);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutboxTimesColumns,
    ::testing::Values(TimesCase{"WrittenWithoutTheColumns", "", 0, 0},
                      TimesCase{"EmptyColumns", "\t\t", 0, 0},
                      TimesCase{"BothTimes", "\t1700003600\t1700007200", 1700003600, 1700007200},
                      TimesCase{"OnlyAnExpiry", "\t\t1700007200", 0, 1700007200},
                      TimesCase{"NegativeTimeIsNone", "\t-5\t-7", 0, 0}),
    [](const ::testing::TestParamInfo<TimesCase>& info) { return info.param.name; });

TEST(OutboxTimesRecord, TimesGoThroughTheRecordAndBack) {
  SMSMessage message(u"", u"+4917012345", u"later");
  message.notBefore = 1700003600;
  message.expires = 1700007200;
  const DatabaseRecord record = outgoingRecord(message, StoreKind::Outbox, u"00000001");
  EXPECT_EQ(record[14], u"1700003600");
  EXPECT_EQ(record[15], u"1700007200");
  const auto back = messageFromRecord(record, StoreKind::Outbox);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->notBefore, 1700003600);
  EXPECT_EQ(back->expires, 1700007200);
}

}  // namespace
}  // namespace parlane::test
