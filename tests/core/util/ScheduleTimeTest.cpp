#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "core/util/ScheduleTime.h"

namespace parlane {
namespace {

constexpr std::int64_t kNow = 1'700'000'000;  // 2023-11-14T22:13:20Z

struct TimeCase {
  const char* name;
  std::string text;
  std::int64_t seconds;  // -1: refused
  const char* error;     // part of the reason
};

void PrintTo(const TimeCase& c, std::ostream* os) { *os << c.name; }

class ScheduleTimes : public ::testing::TestWithParam<TimeCase> {};

TEST_P(ScheduleTimes, AreReadOrRefusedWithTheReason) {
  const TimeCase& c = GetParam();
  const ScheduleTimeParse parse = parseScheduleTime(c.text, kNow);
  if (c.seconds < 0) {
    EXPECT_FALSE(parse.seconds.has_value()) << *parse.seconds;
    EXPECT_NE(parse.error.find(c.error), std::string::npos) << parse.error;
  } else {
    ASSERT_TRUE(parse.seconds.has_value()) << parse.error;
    EXPECT_EQ(*parse.seconds, c.seconds);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScheduleTimes,
    ::testing::Values(TimeCase{"SecondsFromNow", "90", kNow + 90, ""},
                      TimeCase{"ZeroSecondsIsNow", "0", kNow, ""},
                      TimeCase{"BlanksAround", " 60\r", kNow + 60, ""},
                      TimeCase{"UtcWithSeconds", "2023-11-14T22:15:00Z", kNow + 100, ""},
                      TimeCase{"UtcWithoutSeconds", "2023-11-14T22:15Z", kNow + 100, ""},
                      TimeCase{"SpaceForT", "2023-11-14 22:15:00Z", kNow + 100, ""},
                      TimeCase{"FractionDropped", "2023-11-14T22:15:00.750Z", kNow + 100, ""},
                      TimeCase{"OffsetWithColon", "2023-11-14T23:15:00+01:00", kNow + 100, ""},
                      TimeCase{"OffsetWithoutColon", "2023-11-14T17:15:00-0500", kNow + 100, ""},
                      TimeCase{"OffsetHoursOnly", "2023-11-15T00:15+02", kNow + 100, ""},
                      // The tests run with TZ=UTC.
                      TimeCase{"LocalTime", "2023-11-14T22:15:00", kNow + 100, ""},
                      TimeCase{"PastTimeIsKept", "2020-01-01T00:00:00Z", 1'577'836'800, ""},
                      TimeCase{"LeapDay", "2024-02-29T00:00:00Z", 1'709'164'800, ""},
                      TimeCase{"Empty", "", -1, "no time"},
                      TimeCase{"Word", "tomorrow", -1, "expected"},
                      TimeCase{"NegativeSeconds", "-5", -1, "expected"},
                      TimeCase{"DateOnly", "2023-11-14", -1, "expected"},
                      TimeCase{"NoLeapDay", "2023-02-29T00:00Z", -1, "no such date"},
                      TimeCase{"Hour24", "2023-11-14T24:00Z", -1, "no such date"},
                      TimeCase{"Month13", "2023-13-01T00:00Z", -1, "no such date"},
                      TimeCase{"BadZone", "2023-11-14T22:15:00CET", -1, "time zone"},
                      TimeCase{"TrailingGarbage", "2023-11-14T22:15:00Zx", -1, "time zone"},
                      TimeCase{"TooFarAhead", "400000000", -1, "ten years"},
                      TimeCase{"IsoTooFarAhead", "2099-01-01T00:00Z", -1, "ten years"},
                      TimeCase{"HugeNumber", "99999999999999999999999", -1, "expected"}),
    [](const ::testing::TestParamInfo<TimeCase>& info) { return info.param.name; });

TEST(ScheduleTimeText, IsReadBackAsTheSameTime) {
  EXPECT_EQ(formatScheduleTime(kNow + 100), "2023-11-14T22:15:00Z");
  EXPECT_EQ(parseScheduleTime(formatScheduleTime(kNow + 100), kNow).seconds, kNow + 100);
}

}  // namespace
}  // namespace parlane
