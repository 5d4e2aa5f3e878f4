#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "gsm/TimeStamp.h"

namespace parlane {
namespace {

// Sets the process time zone for one test and puts the old one back.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) saved_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (saved_) {
      setenv("TZ", saved_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  std::optional<std::string> saved_;
};

constexpr std::time_t kMay20Utc = 1274365800;  // 2010-05-20 14:30:00 UTC
constexpr const char* kCentralEurope = "CET-1CEST,M3.5.0,M10.5.0/3";

std::uint8_t swappedBcd(int value) {
  return static_cast<std::uint8_t>((value % 10) << 4 | value / 10);
}

TEST(DecodeTimeStamp, FieldsAsLocalTimeZoneIgnored) {
  struct Case {
    std::vector<std::uint8_t> octets;
    const char* zone;
    std::time_t expected;
  };
  const Case cases[] = {
      {{0x01, 0x50, 0x02, 0x41, 0x03, 0x00, 0x00, 0xFF}, "UTC0", kMay20Utc},
      {{0x01, 0x50, 0x02, 0x41, 0x03, 0x00, 0x40, 0xFF}, "UTC0", kMay20Utc},  // +1 h stamp
      {{0x01, 0x50, 0x02, 0x41, 0x03, 0x00, 0x29, 0xFF}, "UTC0", kMay20Utc},  // -3 h stamp
      {{0x01, 0x50, 0x02, 0x41, 0x03, 0x00, 0x29, 0xFF}, "<-03>3", kMay20Utc + 3 * 3600},
      {{0x01, 0x50, 0x02, 0x41, 0x03, 0x00, 0x00, 0xFF}, "<+0530>-5:30", kMay20Utc - 19800},
      {{0x99, 0x30, 0x92, 0x51, 0x61, 0x95, 0x80, 0x00}, "UTC0", 922720619},  // 1999-03-29
      {{0x01, 0x50, 0x02, 0x41, 0x03, 0x00, 0x00, 0xFF}, kCentralEurope, kMay20Utc - 7200},
      {{0x01, 0x21, 0x02, 0x41, 0x03, 0x00, 0x00, 0xFF}, kCentralEurope, 1292855400 - 3600},
      // Month 13 carries over into January of the next year.
      {{0x01, 0x31, 0x02, 0x41, 0x03, 0x00, 0x00, 0xFF}, "UTC0", 1295533800},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "zone " << c.zone << ", expected " << c.expected);
    ScopedTimeZone zone(c.zone);
    std::size_t position = 0;
    const auto when = decodeTimeStamp(c.octets, position);
    ASSERT_TRUE(when.has_value());
    EXPECT_EQ(*when, c.expected) << c.zone;
    EXPECT_EQ(position, 7u);
  }
}

TEST(DecodeTimeStamp, GivesBackTheLocalFieldsAllYearRound) {
  ScopedTimeZone zone(kCentralEurope);
  const int daysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (int month = 1; month <= 12; ++month) {
    for (int day = 1; day <= daysInMonth[month - 1]; ++day) {
      const std::vector<std::uint8_t> octets = {swappedBcd(10),
                                                swappedBcd(month),
                                                swappedBcd(day),
                                                swappedBcd(14),
                                                swappedBcd(30),
                                                swappedBcd(15),
                                                0x00,
                                                0x00};
      std::size_t position = 0;
      const auto when = decodeTimeStamp(octets, position);
      ASSERT_TRUE(when.has_value());
      std::tm local{};
      ASSERT_NE(localtime_r(&*when, &local), nullptr);
      EXPECT_EQ(local.tm_year, 110);
      EXPECT_EQ(local.tm_mon + 1, month);
      EXPECT_EQ(local.tm_mday, day);
      EXPECT_EQ(local.tm_hour, 14);
      EXPECT_EQ(local.tm_min, 30);
      EXPECT_EQ(local.tm_sec, 15);
    }
  }
}

TEST(DecodeTimeStamp, NeedsTheOctetAfterTheStamp) {
  const std::vector<std::uint8_t> octets = {0xAA, 0x01, 0x50, 0x02, 0x41, 0x03, 0x00, 0x00, 0x05};
  std::size_t position = 1;
  EXPECT_TRUE(decodeTimeStamp(octets, position).has_value());
  EXPECT_EQ(position, 8u);
  position = 2;
  EXPECT_FALSE(decodeTimeStamp(octets, position).has_value());
  EXPECT_EQ(position, 2u);
  position = 100;
  EXPECT_FALSE(decodeTimeStamp(octets, position).has_value());
  position = 0;
  EXPECT_FALSE(decodeTimeStamp(std::span<const std::uint8_t>(), position).has_value());
}

TEST(ParseTextTimeStamp, TextModeForms) {
  ScopedTimeZone zone("UTC0");
  struct Case {
    const char* text;
    std::time_t expected;
  };
  const Case cases[] = {
      {"10/05/20,14:30:00+08", kMay20Utc},
      {"10/05/20,14:30:00", kMay20Utc},
      {"10/05/20,14:30:00-04", kMay20Utc},
      {" 10/ 5/20, 14:30:0", kMay20Utc},
      {"10/05/20,14:30", 0},
      {"10/05/20 14:30:00", 0},
      {"10-05-20,14:30:00", 0},
      {"", 0},
      {"garbage", 0},
      {"10/05/20,14:30:", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parseTextTimeStamp(c.text), c.expected) << c.text;
  }
  EXPECT_EQ(parseTextTimeStamp(u"10/05/20,14:30:00+08"), kMay20Utc);
}

TEST(ParseTextTimeStamp, FollowsTheProcessTimeZone) {
  ScopedTimeZone zone("<-03>3");
  EXPECT_EQ(parseTextTimeStamp("10/05/20,14:30:00+08"), kMay20Utc + 3 * 3600);
}

TEST(ParseTextTimeStamp, HugeFieldsDoNotOverflow) {
  ScopedTimeZone zone("UTC0");
  // Whatever date comes out, reading it must stay defined behaviour.
  parseTextTimeStamp("99999999999999999999/1/1,0:0:0");
  parseTextTimeStamp("-99999999999999999999/-99999999999/1,99999999999:0:0");
  SUCCEED();
}

}  // namespace
}  // namespace parlane
