#include <gtest/gtest.h>

#include "message/StatusReport.h"
#include "service/DeliveryReportMarking.h"
#include "storage/StoresFixture.h"

namespace parlane::test {
namespace {

// Sent records: id, timestamp, to, type, segments, content, url, dstton, flags, uniqueid, refid,
// source, validity, custom.
const char* kSent =
    "00000001\t1\t+49 (170) 111\tsms\t1\ta\t\t1\t4\t101\t7\t\t86400\tfirst\r\n"
    "00000002\t2\t0170222\tsms\t1\tb\t\t2\t4\t102\t7\t\t86400\tsecond\r\n"
    "00000003\t3\t0170333\tsms\t1\tc\t\t2\t4\t103\t8\t\t86400\tthird\r\n"
    // Reference 9 to the same number twice: the counter wrapped between them; the older one
    // was reported on long ago.
    "00000004\t4\t0170444\tsms\t1\td\t\t2\t20\t104\t9\t\t86400\tbefore wrap\r\n"
    "00000005\t5\t0170444\tsms\t1\te\t\t2\t4\t105\t9\t\t86400\tafter wrap\r\n"
    // Reference 10 twice, neither marked yet: the newer one is the message just sent.
    "00000006\t6\t0170666\tsms\t1\tf\t\t2\t4\t106\t10\t\t86400\told\r\n"
    "00000007\t7\t0170666\tsms\t1\tg\t\t2\t4\t107\t10\t\t86400\tnew\r\n"
    // Reference 11 already reported on: a second report for it marks nothing.
    "00000008\t8\t0170888\tsms\t1\th\t\t2\t36\t108\t11\t\t86400\tdone\r\n";

struct ReportCase {
  const char* name;
  int reference;
  const char16_t* recipient;
  bool delivered;
  bool applies;
  const char16_t* markedKey;
  const char16_t* flags;
  int uniqueid;
};

void PrintTo(const ReportCase& c, std::ostream* os) { *os << c.name; }

class DeliveryReport : public ::testing::TestWithParam<ReportCase> {};

TEST_P(DeliveryReport, MarksTheNewestUnmarkedRecordWithTheReferenceAndRecipient) {
  StoresFixture f;
  f.dir.write("sent.txt", kSent);
  ASSERT_TRUE(f.stores->open());
  const ReportCase& c = GetParam();
  StatusReport report(c.recipient, u"", c.reference, 0, c.delivered ? 0 : 0x40);
  const std::int32_t ownId = report.uniqueid;
  EXPECT_EQ(markDeliveryReport(f.stores->sent(), report, c.delivered), c.applies);
  if (c.applies) {
    DatabaseRecord record;
    ASSERT_TRUE(f.stores->sent().get(c.markedKey, record));
    EXPECT_EQ(record[8], c.flags);
    EXPECT_EQ(report.uniqueid, c.uniqueid);
    EXPECT_EQ(report.custom, record[13]);
    // Saved: a fresh load sees the mark.
    f.stores.reset();
    MessageStores reopened(f.settings, f.dir.path(), 0);
    ASSERT_TRUE(reopened.open());
    ASSERT_TRUE(reopened.sent().get(c.markedKey, record));
    EXPECT_EQ(record[8], c.flags);
  } else {
    EXPECT_EQ(report.uniqueid, ownId);
    EXPECT_EQ(f.dir.read("sent.txt"), kSent);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Reports, DeliveryReport,
    ::testing::Values(
        ReportCase{"DeliveredToNormalisedNumber", 7, u"49170111", true, true, u"00000001", u"20",
                   101},
        ReportCase{"ReportNumberWithPlus", 7, u"+49170111", true, true, u"00000001", u"20", 101},
        ReportCase{"NotDelivered", 7, u"49170111", false, true, u"00000001", u"36", 101},
        ReportCase{"OtherReference", 8, u"0170333", true, true, u"00000003", u"20", 103},
        // Records with the reference to other numbers don't stand in the way.
        ReportCase{"NewerRecordToTheRecipient", 7, u"0170222", true, true, u"00000002", u"20", 102},
        ReportCase{"AfterWrapTheUnmarkedRecord", 9, u"0170444", true, true, u"00000005", u"20",
                   105},
        ReportCase{"TwoUnmarkedTheNewest", 10, u"0170666", false, true, u"00000007", u"36", 107},
        ReportCase{"AlreadyMarkedChangesNothing", 11, u"0170888", true, false, nullptr, nullptr, 0},
        ReportCase{"UnknownReference", 9, u"49170111", true, false, nullptr, nullptr, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace parlane::test
