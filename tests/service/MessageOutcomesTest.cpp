// The door's message outcomes kept in their file beside the folders: what a reopen finds, the
// cap on how many are kept, and lines that can't be read.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/ReceiverTestSupport.h"
#include "service/KeyedJournal.h"
#include "service/MessageOutcomes.h"
#include "support/TempDir.h"

namespace parlane::test {
namespace {

using Outcome = MessageOutcomes::Outcome;

constexpr char kHeader[] = "parlane outcomes 1";

std::size_t lineCount(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

struct ReopenCase {
  std::string name;
  std::vector<std::pair<std::string, Outcome>> remembered;
  std::string id;
  Outcome found;
};

void PrintTo(const ReopenCase& c, std::ostream* os) { *os << c.name; }

class OutcomeAfterReopen : public testing::TestWithParam<ReopenCase> {
 protected:
  TempDir dir_;
};

TEST_P(OutcomeAfterReopen, IsFoundAsRemembered) {
  {
    MessageOutcomes outcomes;
    outcomes.keepIn(dir_.file("outcomes"));
    for (const auto& [id, outcome] : GetParam().remembered) outcomes.remember(id, outcome);
  }
  MessageOutcomes outcomes;
  outcomes.keepIn(dir_.file("outcomes"));
  EXPECT_EQ(outcomes.find(GetParam().id), GetParam().found);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutcomeAfterReopen,
    testing::Values(ReopenCase{"Failure",
                               {{"a1", {"+CMS ERROR: 500", 1'700'000'000}}},
                               "a1",
                               {"+CMS ERROR: 500", 1'700'000'000}},
                    ReopenCase{"Report", {{"a1", {"", 1'700'000'100}}}, "a1", {"", 1'700'000'100}},
                    ReopenCase{"ReasonWithTabsAndLineEnds",
                               {{"a1", {"line one\nline\ttwo\r\\", 5}}},
                               "a1",
                               {"line one\nline\ttwo\r\\", 5}},
                    ReopenCase{"IdWithATab", {{"web\t1", {"why", 5}}}, "web\t1", {"why", 5}},
                    ReopenCase{"TimeBefore1970", {{"a1", {"", -86400}}}, "a1", {"", -86400}},
                    ReopenCase{"TheLaterOfTwo",
                               {{"a1", {"no network", 5}}, {"a2", {"", 6}}, {"a1", {"", 7}}},
                               "a1",
                               {"", 7}},
                    ReopenCase{"AmongOthers",
                               {{"a1", {"one", 1}}, {"a2", {"two", 2}}, {"a3", {"three", 3}}},
                               "a2",
                               {"two", 2}}),
    [](const testing::TestParamInfo<ReopenCase>& info) { return info.param.name; });

TEST(MessageOutcomesFile, AReopenKeepsTheNewestTenThousand) {
  TempDir dir;
  // One more than is kept, written at once: appending them one by one would flush each.
  std::string text = std::string(kHeader) + "\n";
  for (std::size_t i = 0; i <= MessageOutcomes::kMaxKept; ++i) {
    text += journalPutLine({"m" + std::to_string(i), {"why", std::to_string(i)}});
  }
  dir.write("outcomes", text);
  {
    MessageOutcomes outcomes;
    outcomes.keepIn(dir.file("outcomes"));
    EXPECT_FALSE(outcomes.find("m0"));
    EXPECT_EQ(outcomes.find("m1"), (Outcome{"why", 1}));
    EXPECT_EQ(outcomes.find("m10000"), (Outcome{"why", 10000}));
    // The file lost the oldest too.
    std::size_t skipped = 0;
    const std::vector<JournalEntry> stored =
        parseKeyedJournal(dir.read("outcomes"), kHeader, skipped);
    ASSERT_EQ(stored.size(), MessageOutcomes::kMaxKept);
    EXPECT_EQ(stored.front().key, "m1");
    outcomes.remember("new", {"", 1});
    EXPECT_FALSE(outcomes.find("m1"));
  }
  MessageOutcomes outcomes;
  outcomes.keepIn(dir.file("outcomes"));
  EXPECT_FALSE(outcomes.find("m1"));
  EXPECT_TRUE(outcomes.find("m2"));
  EXPECT_EQ(outcomes.find("new"), (Outcome{"", 1}));
}

TEST(MessageOutcomesFile, IsWrittenAnewBeforeItHoldsMuchMoreThanIsKept) {
  TempDir dir;
  constexpr std::size_t kKept = 10;
  constexpr int kRemembered = 300;
  {
    MessageOutcomes outcomes(kKept);
    outcomes.keepIn(dir.file("outcomes"));
    for (int i = 0; i < kRemembered; ++i) outcomes.remember("m" + std::to_string(i), {"", i});
  }
  // Rewritten at the latest when its lines reach 256 (or twice what is kept, were that more).
  EXPECT_LE(lineCount(dir.read("outcomes")), 257u);
  MessageOutcomes outcomes(kKept);
  outcomes.keepIn(dir.file("outcomes"));
  EXPECT_FALSE(outcomes.find("m" + std::to_string(kRemembered - kKept - 1)));
  EXPECT_EQ(outcomes.find("m" + std::to_string(kRemembered - kKept)),
            (Outcome{"", kRemembered - kKept}));
  EXPECT_EQ(lineCount(dir.read("outcomes")), kKept + 1);
}

struct MalformedCase {
  std::string name;
  std::string line;
};

void PrintTo(const MalformedCase& c, std::ostream* os) { *os << c.name; }

class MalformedOutcomeLine : public testing::TestWithParam<MalformedCase> {
 protected:
  LogCapture log_;
  TempDir dir_;
};

TEST_P(MalformedOutcomeLine, IsSkippedWithTheRestLoaded) {
  dir_.write("outcomes", std::string(kHeader) + "\nput\tbefore\tno network\t100\n" +
                             GetParam().line + "\nput\tafter\t\t200\n");
  MessageOutcomes outcomes;
  outcomes.keepIn(dir_.file("outcomes"));
  EXPECT_EQ(outcomes.find("before"), (Outcome{"no network", 100}));
  EXPECT_EQ(outcomes.find("after"), (Outcome{"", 200}));
  EXPECT_FALSE(outcomes.find("bad"));
  EXPECT_TRUE(log_.contains("skipped")) << log_.text();
  // The file no longer holds it: the next start reads it without a word.
  EXPECT_EQ(dir_.read("outcomes").find("bad"), std::string::npos) << dir_.read("outcomes");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedOutcomeLine,
    testing::Values(MalformedCase{"TimeNotANumber", "put\tbad\twhy\tsoon"},
                    MalformedCase{"TimeWithTrailingLetters", "put\tbad\twhy\t12x"},
                    MalformedCase{"TimeWithLeadingSpace", "put\tbad\twhy\t 12"},
                    MalformedCase{"TimeWithPlus", "put\tbad\twhy\t+12"},
                    MalformedCase{"TimeEmpty", "put\tbad\twhy\t"},
                    MalformedCase{"TimeTooLarge", "put\tbad\twhy\t99999999999999999999999"},
                    MalformedCase{"NoTime", "put\tbad\twhy"}, MalformedCase{"NoFields", "put\tbad"},
                    MalformedCase{"OneFieldTooMany", "put\tbad\twhy\t1\tmore"},
                    MalformedCase{"UnknownVerb", "add\tbad\twhy\t1"},
                    MalformedCase{"BadEscape", "put\tbad\twh\\qy\t1"},
                    MalformedCase{"ReasonNotUtf8", "put\tbad\twh\xff\xfey\t1"},
                    MalformedCase{"IdNotUtf8", "put\tbad\xc0\xaf\twhy\t1"}),
    [](const testing::TestParamInfo<MalformedCase>& info) { return info.param.name; });

// The service thread remembers while HTTP workers look up; run under TSan too.
TEST(MessageOutcomesFile, IsReadWhileItIsWritten) {
  TempDir dir;
  constexpr int kRemembered = 300;  // past a rewrite of the file
  MessageOutcomes outcomes(20);
  outcomes.keepIn(dir.file("outcomes"));
  std::thread writer([&] {
    for (int i = 0; i < kRemembered; ++i) outcomes.remember("m" + std::to_string(i), {"why", i});
  });
  std::vector<std::thread> readers;
  for (int r = 0; r < 2; ++r) {
    readers.emplace_back([&] {
      for (int i = kRemembered - 1; i >= 0; --i) {
        const std::optional<Outcome> found = outcomes.find("m" + std::to_string(i));
        if (found) {
          EXPECT_EQ(found->time, i);
        }
      }
    });
  }
  writer.join();
  for (std::thread& reader : readers) reader.join();
  MessageOutcomes reopened(20);
  reopened.keepIn(dir.file("outcomes"));
  EXPECT_EQ(reopened.find("m299"), (Outcome{"why", 299}));
  EXPECT_FALSE(reopened.find("m279"));
}

}  // namespace
}  // namespace parlane::test
