#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "DatabaseFixture.h"

namespace parlane::test {
namespace {

TEST(FileDatabaseConcurrency, WritersAndReadersShareOneDatabase) {
  DatabaseFixture f;
  auto db = f.make();
  ASSERT_EQ(db->truncate(), 0);
  constexpr int kWriters = 4;
  constexpr int kPerWriter = 150;
  std::atomic<bool> done{false};
  std::thread reader([&] {
    DatabaseRecord record;
    while (!done) {
      db->selectContaining(1, u"writer", 5);
      db->findMaximum(0, false, record);
      db->count();
      // What a folder view does while the service threads write.
      const std::uint64_t revision = db->revision();
      const std::vector<std::u16string> keys = db->keys();
      EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
      EXPECT_GE(db->revision(), revision);
    }
  });
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      for (int i = 0; i < kPerWriter; ++i) {
        const std::u16string id = db->newIdText();
        db->put({id, u"writer " + fromAscii(std::to_string(w)), u""});
        if (i % 10 == 0) db->put({id, u"writer changed", u""});  // forces rewrites
        EXPECT_EQ(db->save(), 0);
      }
    });
  }
  for (auto& writer : writers) writer.join();
  done = true;
  reader.join();
  EXPECT_EQ(db->count(), static_cast<size_t>(kWriters * kPerWriter));
  db.reset();
  auto again = f.make();
  ASSERT_EQ(again->load(true), 0);
  EXPECT_EQ(again->count(), static_cast<size_t>(kWriters * kPerWriter));
}

}  // namespace
}  // namespace parlane::test
