#include <gtest/gtest.h>

#include <functional>

#include "DatabaseFixture.h"

namespace parlane::test {
namespace {

// A view over a folder takes the keys once and looks again only when the revision moved: every
// change of the records must move it, and nothing else may.
TEST(FileDatabaseKeys, KeysInKeyOrderAndARevisionThatMovesWithEveryChange) {
  DatabaseFixture f;
  auto db = f.loaded("00000003\tc\r\n00000001\ta\r\n");
  EXPECT_EQ(db->keys(), (std::vector<std::u16string>{u"00000001", u"00000003"}));

  struct Step {
    const char* name;
    std::function<void(FileDatabase&)> run;
    bool changes;
  };
  const Step steps[] = {
      {"put new",
       [](FileDatabase& d) {
         d.put({u"00000002", u"b", u""});
       },
       true},
      {"put replacing",
       [](FileDatabase& d) {
         d.put({u"00000002", u"B", u""});
       },
       true},
      {"save", [](FileDatabase& d) { d.save(); }, false},
      {"get and search",
       [](FileDatabase& d) {
         DatabaseRecord record;
         d.get(u"00000001", record);
         d.selectContaining(1, u"a", 0);
       },
       false},
      {"remove missing", [](FileDatabase& d) { d.remove(u"0000000f"); }, false},
      {"remove", [](FileDatabase& d) { d.remove(u"00000001"); }, true},
      {"load", [](FileDatabase& d) { d.load(false); }, true},
      {"clear", [](FileDatabase& d) { d.clear(); }, true},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    const std::uint64_t before = db->revision();
    step.run(*db);
    EXPECT_EQ(db->revision() != before, step.changes);
  }
  EXPECT_TRUE(db->keys().empty());
}

}  // namespace
}  // namespace parlane::test
