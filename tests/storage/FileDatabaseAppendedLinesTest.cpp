#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "DatabaseFixture.h"

namespace parlane::test {
namespace {

// Records added while the program runs are read back from the file once they are appended, as
// loaded ones are: a long campaign doesn't pile its lines up in memory until the next compaction.
struct AppendCase {
  const char* name;
  // Makes the database the records are added to.
  std::function<std::unique_ptr<FileDatabase>(DatabaseFixture&)> start;
  // The records it holds before.
  std::vector<DatabaseRecord> before;
};

void PrintTo(const AppendCase& c, std::ostream* os) { *os << c.name; }

class AppendedLines : public ::testing::TestWithParam<AppendCase> {};

TEST_P(AppendedLines, AreReadBackFromTheFile) {
  DatabaseFixture f;
  std::unique_ptr<FileDatabase> db = GetParam().start(f);
  std::vector<DatabaseRecord> expected = GetParam().before;
  for (int save = 0; save < 3; ++save) {
    for (int i = 0; i < 2; ++i) {
      const std::u16string key = u"1" + fromAscii(std::to_string(save * 2 + i));
      expected.push_back(rec({key.c_str(), u"new\u00e9", u"line"}));
      db->put(expected.back());
    }
    ASSERT_EQ(db->save(), 0);
  }
  EXPECT_EQ(db->heldBytes(), 0u);
  for (const DatabaseRecord& record : expected) {
    DatabaseRecord got;
    ASSERT_TRUE(db->get(record[0], got)) << toUtf8(record[0]);
    EXPECT_EQ(got, record);
  }
  // A scan reads them in key order with the rest.
  EXPECT_EQ(db->selectContaining(1, u"", 0), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, AppendedLines,
    ::testing::Values(AppendCase{"LoadedFile",
                                 [](DatabaseFixture& f) {
                                   return f.loaded("01\ta\tx\r\n02\tb\ty\r\n");
                                 },
                                 {rec({u"01", u"a", u"x"}), rec({u"02", u"b", u"y"})}},
                      AppendCase{"FileWrittenWhole",
                                 [](DatabaseFixture& f) {
                                   auto db = f.loaded("01\ta\tx\r\n02\tb\ty\r\n");
                                   db->put(rec({u"01", u"A", u"X"}));
                                   db->compact();
                                   return db;
                                 },
                                 {rec({u"01", u"A", u"X"}), rec({u"02", u"b", u"y"})}},
                      AppendCase{"LastLineCutShort",
                                 [](DatabaseFixture& f) {
                                   auto db = f.loaded("01\ta\tx\r\n");
                                   // A crash cut the last append short: the next one starts a new
                                   // line.
                                   f.dir.write("db.txt", "01\ta\tx\r\n02\tcut");
                                   return db;
                                 },
                                 {rec({u"01", u"a", u"x"})}},
                      AppendCase{"NewFile",
                                 [](DatabaseFixture& f) {
                                   auto db = f.make();
                                   db->load(true);
                                   db->put(rec({u"01", u"a", u"x"}));
                                   db->save();
                                   return db;
                                 },
                                 {rec({u"01", u"a", u"x"})}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace parlane::test
