#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string>

#include "ServiceRig.h"

namespace parlane::test {
namespace {

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// The scheduler's every-second tick folds the journal of a folder left alone for a minute, on the
// scheduler's clock: no timer of its own.
struct QuietCase {
  const char* name;
  std::int64_t quietMs;
  bool folded;
};

void PrintTo(const QuietCase& c, std::ostream* os) { *os << c.name; }

class QuietFolders : public ::testing::TestWithParam<QuietCase> {};

TEST_P(QuietFolders, GetTheirJournalFoldedOnTheWatchdogTick) {
  ManualClock clock{1'000'000};
  ServiceRig rig(ServiceRig::Options{.port = {}, .schedulerClock = &clock});
  FileDatabase& failed = rig.stores->failed();
  for (const char16_t* text : {u"one", u"two"}) {
    SMSMessage message(u"", u"+4917012345", text);
    failed.put(outgoingRecord(message, StoreKind::Failed, failed.newIdText()));
  }
  ASSERT_EQ(failed.save(), 0);
  const std::u16string removed = failed.keys().front();
  failed.remove(removed);
  ASSERT_EQ(failed.save(), 0);
  const std::string journal = failed.journalPath();
  ASSERT_TRUE(exists(journal));

  rig.start();
  rig.scheduler.runDue();
  for (std::int64_t waited = 0; waited < GetParam().quietMs; waited += 1000) {
    clock.advance(1000);
    rig.scheduler.runDue();
  }
  EXPECT_EQ(exists(journal), !GetParam().folded);
  EXPECT_EQ(rig.file(StoreKind::Failed).find("\tone\t"), std::string::npos);
  EXPECT_NE(rig.file(StoreKind::Failed).find("\ttwo\t"), std::string::npos);
  if (GetParam().folded) {
    // The file alone shows the removal.
    std::ifstream file(failed.path(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), {});
    EXPECT_EQ(text.find("\tone\t"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(Ticks, QuietFolders,
                         ::testing::Values(QuietCase{"AfterAQuietMinute", 60'000, true},
                                           QuietCase{"NotBefore", 59'000, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace parlane::test
