#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "DatabaseFixture.h"
#include "core/util/Clock.h"

namespace parlane::test {
namespace {

constexpr std::int64_t kQuietMs = 60'000;

ino_t inodeOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_ino;
}

// One moment of a folder's life: the clock moves on, a change may come, then the periodic tick.
struct Step {
  std::int64_t advanceMs;
  void (*change)(FileDatabase&);
};

void replaceFirst(FileDatabase& db) {
  db.put(rec({u"01", u"A", u"X"}));
  db.save();
}
void replaceSecond(FileDatabase& db) {
  db.put(rec({u"02", u"B", u"Y"}));
  db.save();
}
void appendThird(FileDatabase& db) {
  db.put(rec({u"03", u"c", u"z"}));
  db.save();
}
void replaceSecondUnsaved(FileDatabase& db) { db.put(rec({u"02", u"B", u"Y"})); }

struct QuietCase {
  const char* name;
  std::vector<Step> steps;
  bool folded;  // the journal went into the file (a new file renamed into place)
};

void PrintTo(const QuietCase& c, std::ostream* os) { *os << c.name; }

class QuietCompaction : public ::testing::TestWithParam<QuietCase> {};

TEST_P(QuietCompaction, FoldsTheJournalOnceTheFolderRestsAMinute) {
  DatabaseFixture f;
  auto db = f.loaded("01\ta\tx\r\n02\tb\ty\r\n");
  const ino_t before = inodeOf(f.path());
  ManualClock clock;
  for (const Step& step : GetParam().steps) {
    clock.advance(step.advanceMs);
    if (step.change != nullptr) step.change(*db);
    ASSERT_EQ(db->compactWhenQuiet(clock.monotonicMs(), kQuietMs), 0);
  }
  EXPECT_EQ(f.exists("db.txt.journal"), !GetParam().folded);
  EXPECT_EQ(inodeOf(f.path()) != before, GetParam().folded);
  // Folded or not, the folder on disk holds every saved change.
  const std::string saved = f.file();
  db->save();
  db.reset();
  auto again = f.make();
  ASSERT_EQ(again->load(true), 0);
  DatabaseRecord first;
  ASSERT_TRUE(again->get(u"01", first));
  EXPECT_EQ(first, rec({u"01", u"A", u"X"}));
  if (GetParam().folded) {
    EXPECT_EQ(saved.substr(0, 8), "01\tA\tX\r\n");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Moments, QuietCompaction,
    ::testing::Values(
        QuietCase{"AfterAQuietMinute", {{0, replaceFirst}, {kQuietMs, nullptr}}, true},
        QuietCase{"NotBeforeTheMinuteIsOver", {{0, replaceFirst}, {kQuietMs - 1, nullptr}}, false},
        QuietCase{"ALaterChangeStartsTheMinuteAgain",
                  {{0, replaceFirst}, {30'000, replaceSecond}, {kQuietMs - 1, nullptr}},
                  false},
        QuietCase{"AMinuteAfterTheLastChange",
                  {{0, replaceFirst}, {30'000, replaceSecond}, {kQuietMs, nullptr}},
                  true},
        QuietCase{"TicksInBetweenDontDelayIt",
                  {{0, replaceFirst}, {20'000, nullptr}, {20'000, nullptr}, {20'000, nullptr}},
                  true},
        QuietCase{"AnAppendStartsTheMinuteAgain",
                  {{0, replaceFirst}, {30'000, appendThird}, {kQuietMs - 1, nullptr}},
                  false},
        QuietCase{"AnUnsavedChangeIsLeftToItsSave",
                  {{0, replaceFirst},
                   {1, replaceSecondUnsaved},
                   {kQuietMs, nullptr},
                   {kQuietMs, nullptr}},
                  false}),
    [](const auto& info) { return std::string(info.param.name); });

// Only appends: the file already holds everything, and a quiet minute rewrites nothing.
TEST(QuietCompactionWithoutJournal, LeavesTheFileAlone) {
  DatabaseFixture f;
  auto db = f.loaded("01\ta\tx\r\n");
  const ino_t before = inodeOf(f.path());
  ManualClock clock;
  appendThird(*db);
  for (int tick = 0; tick < 3; ++tick) {
    ASSERT_EQ(db->compactWhenQuiet(clock.monotonicMs(), kQuietMs), 0);
    clock.advance(kQuietMs);
  }
  EXPECT_EQ(inodeOf(f.path()), before);
  EXPECT_EQ(f.file(), "01\ta\tx\r\n03\tc\tz\r\n");
}

}  // namespace
}  // namespace parlane::test
