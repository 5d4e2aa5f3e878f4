#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "DatabaseFixture.h"

namespace parlane::test {
namespace {

size_t lineCount(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

ino_t inodeOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_ino;
}

TEST(FileDatabaseSave, NewRecordWithoutLimitIsAppended) {
  DatabaseFixture f;
  auto db = f.loaded("00000001\ta\tx\r\n");
  const ino_t before = inodeOf(f.path());
  db->put(rec({db->newIdText().c_str(), u"b", u"y"}));
  ASSERT_EQ(db->save(), 0);
  EXPECT_EQ(f.file(), "00000001\ta\tx\r\n00000003\tb\ty\r\n");
  // Same file, one line longer: nothing was rewritten.
  EXPECT_EQ(inodeOf(f.path()), before);
}

struct RewriteCase {
  const char* name;
  void (*change)(FileDatabase&);
  std::string expected;
};

void PrintTo(const RewriteCase& c, std::ostream* os) { *os << c.name; }

class RewriteCause : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(RewriteCause, RewritesTheWholeFile) {
  DatabaseFixture f;
  auto db = f.loaded("01\ta\tx\r\n02\tb\ty\r\n");
  const ino_t before = inodeOf(f.path());
  GetParam().change(*db);
  ASSERT_EQ(db->save(), 0);
  EXPECT_EQ(f.file(), GetParam().expected);
  EXPECT_NE(inodeOf(f.path()), before);  // a new file renamed into place
}

INSTANTIATE_TEST_SUITE_P(Changes, RewriteCause,
                         ::testing::Values(RewriteCase{"Clear",
                                                       [](FileDatabase& db) { db.clear(); }, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

// A replacement or a removal costs one short append to the journal, whatever the folder's size:
// the file stays as it was until the journal is folded into it, and a load sees both together.
class JournaledChange : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(JournaledChange, LeavesTheFileAndLoadsBackFromTheJournal) {
  DatabaseFixture f;
  const std::string original = "01\ta\tx\r\n02\tb\ty\r\n";
  auto db = f.loaded(original);
  const ino_t before = inodeOf(f.path());
  GetParam().change(*db);
  ASSERT_EQ(db->save(), 0);
  EXPECT_EQ(f.file(), original);
  EXPECT_EQ(inodeOf(f.path()), before);
  EXPECT_TRUE(f.exists("db.txt.journal"));

  db.reset();
  auto again = f.make();
  ASSERT_EQ(again->load(true), 0);
  ASSERT_EQ(again->compact(), 0);
  EXPECT_EQ(f.file(), GetParam().expected);
  EXPECT_NE(inodeOf(f.path()), before);  // folded in: a new file renamed into place
  EXPECT_FALSE(f.exists("db.txt.journal"));
}

INSTANTIATE_TEST_SUITE_P(Changes, JournaledChange,
                         ::testing::Values(RewriteCase{"Replacement",
                                                       [](FileDatabase& db) {
                                                         db.put(rec({u"01", u"A", u"X"}));
                                                       },
                                                       "01\tA\tX\r\n02\tb\ty\r\n"},
                                           RewriteCase{"Removal",
                                                       [](FileDatabase& db) { db.remove(u"01"); },
                                                       "02\tb\ty\r\n"},
                                           RewriteCase{"NewRecordThenReplacement",
                                                       [](FileDatabase& db) {
                                                         db.put(rec({u"03", u"c", u"z"}));
                                                         db.put(rec({u"03", u"C", u"Z"}));
                                                       },
                                                       "01\ta\tx\r\n02\tb\ty\r\n03\tC\tZ\r\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FileDatabaseSave, LimitTrimsSmallestKeysAndRewrites) {
  DatabaseFixture f;
  f.settings.setInt("db.maxrecords", 100);
  std::string file;
  for (int i = 1; i <= 100; ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "%08x\tn\tx\r\n", i);
    file += line;
  }
  auto db = f.loaded(file);
  ASSERT_EQ(db->count(), 100u);
  const ino_t before = inodeOf(f.path());
  db->put(rec({db->newIdText().c_str(), u"new", u""}));
  EXPECT_EQ(db->count(), 100u);
  DatabaseRecord got;
  EXPECT_FALSE(db->get(u"00000001", got));
  EXPECT_TRUE(db->get(u"00000066", got));
  ASSERT_EQ(db->save(), 0);
  ASSERT_EQ(db->compact(), 0);
  EXPECT_NE(inodeOf(f.path()), before);
  EXPECT_EQ(lineCount(f.file()), 100u);
  EXPECT_EQ(f.file().substr(0, 8), "00000002");
}

TEST(FileDatabaseSave, AppendAfterBrokenLastLineStartsANewLine) {
  DatabaseFixture f;
  auto db = f.loaded("01\ta\tx\r\n");
  f.dir.write("db.txt", "01\ta\tx\r\n02\tcut sh");  // a write that a crash cut short
  db->put(rec({u"03", u"c", u"z"}));
  ASSERT_EQ(db->save(), 0);
  EXPECT_EQ(f.file(), "01\ta\tx\r\n02\tcut sh\r\n03\tc\tz\r\n");
  db.reset();
  auto again = f.loaded(f.file());
  DatabaseRecord got;
  ASSERT_TRUE(again->get(u"03", got));
  EXPECT_EQ(got, rec({u"03", u"c", u"z"}));
}

// A crash between the CR and the LF of the last record: the next append completes the line end
// and leaves no CR in that record.
TEST(FileDatabaseSave, AppendAfterACutBetweenCrAndLfLeavesNoStrayCr) {
  DatabaseFixture f;
  auto db = f.loaded("01\ta\tx\r\n02\tb\ty\r");
  db->put(rec({u"03", u"c", u"z"}));
  ASSERT_EQ(db->save(), 0);
  EXPECT_EQ(f.file(), "01\ta\tx\r\n02\tb\ty\r\n03\tc\tz\r\n");
  db.reset();
  auto again = f.loaded(f.file());
  DatabaseRecord got;
  ASSERT_TRUE(again->get(u"02", got));
  EXPECT_EQ(got, rec({u"02", u"b", u"y"}));
}

TEST(FileDatabaseSave, AppendingMakesAnOpenFilePrivate) {
  DatabaseFixture f;
  f.dir.write("db.txt", "01\ta\tx\r\n");
  ASSERT_EQ(::chmod(f.path().c_str(), 0644), 0);
  auto db = f.make();
  ASSERT_EQ(db->load(true), 0);
  db->put(rec({u"02", u"b", u"y"}));
  ASSERT_EQ(db->save(), 0);
  struct stat st {};
  ASSERT_EQ(::stat(f.path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(f.file(), "01\ta\tx\r\n02\tb\ty\r\n");
}

TEST(FileDatabaseSave, FilesAreOwnerOnly) {
  DatabaseFixture f;
  auto db = f.make();
  ASSERT_EQ(db->truncate(), 0);
  struct stat st {};
  ASSERT_EQ(::stat(f.path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  db->put(rec({u"01", u"a", u""}));
  db->remove(u"none");
  ASSERT_EQ(db->save(), 0);
  ASSERT_EQ(::stat(f.path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  db->put(rec({u"01", u"b", u""}));
  ASSERT_EQ(db->save(), 0);
  ASSERT_EQ(::stat(f.dir.file("db.txt.journal").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(FileDatabaseSave, FieldsNeverSplitTheLine) {
  DatabaseFixture f;
  auto db = f.make();
  ASSERT_EQ(db->truncate(), 0);
  db->put(rec({u"01", u"two\twords", u"line\r\nbreak"}));
  ASSERT_EQ(db->save(), 0);
  EXPECT_EQ(f.file(), "01\ttwo words\tline  break\r\n");
}

TEST(FileDatabaseSave, RecordsArePaddedOrCutToTheColumns) {
  DatabaseFixture f;
  auto db = f.make();
  db->put(rec({u"01"}));
  db->put(rec({u"02", u"a", u"b", u"dropped"}));
  DatabaseRecord got;
  ASSERT_TRUE(db->get(u"01", got));
  EXPECT_EQ(got, rec({u"01", u"", u""}));
  ASSERT_TRUE(db->get(u"02", got));
  EXPECT_EQ(got, rec({u"02", u"a", u"b"}));
}

TEST(FileDatabaseSave, FailedSaveKeepsEverythingForTheNextTry) {
  DatabaseFixture f;
  f.settings.setString("db.filename", u"missing-folder/db.txt");
  auto db = f.make();
  db->put(rec({u"01", u"a", u"x"}));
  EXPECT_EQ(db->save(), -1);
  std::filesystem::create_directory(f.dir.file("missing-folder"));
  EXPECT_EQ(db->save(), 0);
  EXPECT_EQ(f.dir.read("missing-folder/db.txt"), "01\ta\tx\r\n");
}

TEST(FileDatabaseSave, DeletedFileIsWrittenWhole) {
  DatabaseFixture f;
  auto db = f.loaded("01\ta\tx\r\n");
  std::filesystem::remove(f.path());
  db->put(rec({u"02", u"b", u"y"}));
  ASSERT_EQ(db->save(), 0);
  EXPECT_EQ(f.file(), "01\ta\tx\r\n02\tb\ty\r\n");
}

TEST(FileDatabaseSave, TruncateEmptiesTheFileAndKeepsMemoryForTheNextSave) {
  DatabaseFixture f;
  auto db = f.loaded("01\ta\tx\r\n");
  ASSERT_EQ(db->truncate(), 0);
  EXPECT_EQ(f.file(), "");
  ASSERT_EQ(db->save(), 0);
  EXPECT_EQ(f.file(), "01\ta\tx\r\n");
}

TEST(FileDatabaseSave, WrittenFileLoadsBackTheSame) {
  DatabaseFixture f;
  auto db = f.make();
  db->put(rec({u"02", u"\u00e9\U0001F600", u"%0A"}));
  db->put(rec({u"01", u"", u""}));
  db->put(rec({u"\U0001F600", u"supplementary", u""}));
  db->put(rec({u"\uFF21", u"fullwidth", u""}));
  ASSERT_EQ(db->save(), 0);
  const std::vector<DatabaseRecord> written = db->selectNotEqual(1, u"\x01", 0);
  db.reset();
  auto again = f.make();
  ASSERT_EQ(again->load(true), 0);
  EXPECT_EQ(again->selectNotEqual(1, u"\x01", 0), written);
  // keysOf run in UTF-16 code unit order: the surrogate pair before U+FF21.
  EXPECT_EQ(keysOf(again->selectNotEqual(1, u"\x01", 0)),
            (std::vector<std::u16string>{u"01", u"02", u"\U0001F600", u"\uFF21"}));
}

struct HighIdCase {
  const char* name;
  std::vector<std::string> keys;  // already in the file
};

void PrintTo(const HighIdCase& c, std::ostream* os) { *os << c.name; }

class HighIds : public ::testing::TestWithParam<HighIdCase> {};

// However the keys got into the file, every restart hands out ids that no record has, so that
// put never replaces a record in silence.
TEST_P(HighIds, NewIdsAreNeverInUse) {
  DatabaseFixture f;
  std::string file;
  for (const auto& key : GetParam().keys) file += key + "\told\t\r\n";
  f.dir.write("db.txt", file);
  for (int restart = 0; restart < 3; ++restart) {
    auto db = f.make();
    ASSERT_EQ(db->load(true), 0);
    const size_t before = db->count();
    for (int i = 0; i < 4; ++i) {
      const std::u16string id = db->newIdText();
      DatabaseRecord existing;
      EXPECT_FALSE(db->get(id, existing)) << toUtf8(id) << " is in use";
      db->put(rec({id.c_str(), u"new", u""}));
    }
    EXPECT_EQ(db->count(), before + 4);
    ASSERT_EQ(db->save(), 0);
  }
  auto db = f.make();
  ASSERT_EQ(db->load(true), 0);
  EXPECT_EQ(db->selectEqual(1, u"old", 0).size(), GetParam().keys.size());
}

INSTANTIATE_TEST_SUITE_P(
    Keys, HighIds,
    ::testing::Values(HighIdCase{"JustBelowTheSignBit", {"7ffffffe", "7fffffff"}},
                      HighIdCase{"SignBit", {"7fffffff", "80000000", "80000001"}},
                      HighIdCase{"TopOfTheRange", {"00000000", "00000001", "fffffffe", "ffffffff"}},
                      HighIdCase{"UpperCaseHex", {"7FFFFFFF", "7fffffff"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileDatabaseIds, NextIdStoresTheFollowingValue) {
  DatabaseFixture f;
  f.settings.setInt("db.id", 254);
  auto db = f.make();
  EXPECT_EQ(db->newIdText(), u"000000fe");
  EXPECT_EQ(f.settings.getInt("db.id"), 255);
  EXPECT_EQ(db->nextId(), 255);
  EXPECT_EQ(f.settings.getInt("db.id"), 256);
}

}  // namespace
}  // namespace parlane::test
