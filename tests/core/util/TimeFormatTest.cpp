#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "core/util/TimeFormat.h"

namespace parlane {
namespace {

class TimeFormat : public testing::Test {
 protected:
  void TearDown() override { setZone("UTC"); }
  static void setZone(const char* zone) {
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
};

TEST_F(TimeFormat, DayMonthTwoDigitYearInLocalTime) {
  const struct {
    const char* zone;
    std::time_t when;
    const char16_t* expected;
  } cases[] = {
      {"UTC", 0, u"01-01-70 00:00:00"},
      {"UTC", 946684799, u"31-12-99 23:59:59"},
      {"UTC", 946684800, u"01-01-00 00:00:00"},
      {"UTC", 1796351898, u"04-12-26 02:38:18"},
      // POSIX "UTC-3" is three hours east of UTC.
      {"UTC-3", 0, u"01-01-70 03:00:00"},
      {"UTC+5", 0, u"31-12-69 19:00:00"},
  };
  for (const auto& c : cases) {
    setZone(c.zone);
    EXPECT_EQ(formatDisplayTime(c.when), c.expected) << c.zone << " " << c.when;
  }
}

}  // namespace
}  // namespace parlane
