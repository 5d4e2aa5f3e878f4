#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "service/CallTracker.h"

namespace parlane {
namespace {

// One line of a ringing modem at a time on the monotonic scale: a "RING" (number null) or a
// caller line with its number.
struct Line {
  std::int64_t ms;
  const char16_t* number;
};

struct TrackCase {
  const char* name;
  std::vector<Line> lines;
  std::vector<std::u16string> announced;  // the calls announced, by number, in order
};

const TrackCase kTrackCases[] = {
    {"RingWithItsCallerIsOneCall",
     {{0, nullptr}, {10, u"+4917012345"}, {5000, nullptr}, {5010, u"+4917012345"}},
     {u"+4917012345"}},
    {"AnnouncedAtTheCallerLineNotAtTheRing", {{0, nullptr}}, {}},
    {"SecondRingWithoutCallerIsAnUnknownCaller", {{0, nullptr}, {5000, nullptr}}, {u""}},
    {"TenRingsOneCall",
     {{0, nullptr},
      {5000, nullptr},
      {10000, nullptr},
      {15000, nullptr},
      {20000, nullptr},
      {25000, nullptr},
      {30000, nullptr},
      {35000, nullptr},
      {40000, nullptr},
      {45000, nullptr}},
     {u""}},
    {"QuietSpellEndsTheCall",
     {{0, nullptr}, {10, u"+4917012345"}, {8010, nullptr}, {8020, u"+4917054321"}},
     {u"+4917012345", u"+4917054321"}},
    {"JustUnderTheQuietSpellIsTheSameCall",
     {{0, nullptr}, {10, u"+4917012345"}, {7999, nullptr}, {8009, u"+4917054321"}},
     {u"+4917012345"}},
    {"CallerLineBeforeItsRing", {{0, u"+4917012345"}, {5, nullptr}}, {u"+4917012345"}},
    {"WithheldCaller", {{0, nullptr}, {10, u""}, {5000, nullptr}}, {u""}},
};

class CallTracking : public testing::TestWithParam<TrackCase> {};

TEST_P(CallTracking, AnnouncesEachCallOnce) {
  CallTracker tracker;
  std::vector<std::u16string> announced;
  for (const Line& line : GetParam().lines) {
    const std::optional<std::u16string> call =
        line.number == nullptr ? tracker.ring(line.ms) : tracker.caller(line.number, line.ms);
    if (call) announced.push_back(*call);
  }
  EXPECT_EQ(announced, GetParam().announced);
}

INSTANTIATE_TEST_SUITE_P(Calls, CallTracking, testing::ValuesIn(kTrackCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct CallerCase {
  const char* name;
  std::u16string line;
  std::u16string number;
};

const CallerCase kCallerCases[] = {
    {"International", u"+CLIP: \"+4917012345\",145,,,,0", u"+4917012345"},
    {"InternationalWithoutPlus", u"+CLIP: \"4917012345\",145", u"+4917012345"},
    {"National", u"+CLIP: \"017012345\",129,\"\",,\"Anna\",0", u"017012345"},
    {"Withheld", u"+CLIP: \"\",128,,,,1", u""},
    {"NothingAfterTheColon", u"+CLIP:", u""},
};

class CallerNumbers : public testing::TestWithParam<CallerCase> {};

TEST_P(CallerNumbers, KeepThePlusTheirTypeStandsFor) {
  EXPECT_EQ(callerNumber(GetParam().line), GetParam().number);
}

INSTANTIATE_TEST_SUITE_P(Calls, CallerNumbers, testing::ValuesIn(kCallerCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace parlane
