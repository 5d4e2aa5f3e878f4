#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "DatabaseFixture.h"
#include "UnreadableFile.h"
#include "core/log/Logger.h"
#include "core/util/FileIo.h"

namespace parlane::test {
namespace {

struct LoadCase {
  const char* name;
  std::string file;
  std::vector<DatabaseRecord> expected;  // in key order
};

void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }

class LoadFormat : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadFormat, ReadsRecords) {
  DatabaseFixture f;
  auto db = f.loaded(GetParam().file);
  ASSERT_EQ(f.loadResult, 0);
  ASSERT_EQ(db->count(), GetParam().expected.size());
  for (const auto& want : GetParam().expected) {
    DatabaseRecord got;
    ASSERT_TRUE(db->get(want[0], got)) << toUtf8(want[0]);
    EXPECT_EQ(got, want);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadFormat,
    ::testing::Values(
        LoadCase{"CrLf",
                 "01\ta\tx\r\n02\tb\ty\r\n",
                 {rec({u"01", u"a", u"x"}), rec({u"02", u"b", u"y"})}},
        LoadCase{
            "LfOnly", "01\ta\tx\n02\tb\ty\n", {rec({u"01", u"a", u"x"}), rec({u"02", u"b", u"y"})}},
        LoadCase{"NoFinalLineEnd",
                 "01\ta\tx\r\n02\tb\ty",
                 {rec({u"01", u"a", u"x"}), rec({u"02", u"b", u"y"})}},
        LoadCase{"OnlyOneCrDropped", "01\ta\tx\r\r\n", {rec({u"01", u"a", u"x\r"})}},
        LoadCase{"CutBetweenCrAndLf",
                 "01\ta\tx\r\n02\tb\r",
                 {rec({u"01", u"a", u"x"}), rec({u"02", u"b", u""})}},
        LoadCase{"ByteOrderMarkBeforeTheFirstKey",
                 "\xEF\xBB\xBF"
                 "01\ta\tx\r\n",
                 {rec({u"01", u"a", u"x"})}},
        LoadCase{"ByteOrderMarkBeforeAComment",
                 "\xEF\xBB\xBF# folder\r\n01\ta\tx\r\n",
                 {rec({u"01", u"a", u"x"})}},
        LoadCase{"CommentsAndBlankLines",
                 "# folder\r\n\r\n01\ta\tx\r\n\n#02\tb\ty\r\n",
                 {rec({u"01", u"a", u"x"})}},
        LoadCase{"ShortLinePadded",
                 "01\ta\r\n02\r\n",
                 {rec({u"01", u"a", u""}), rec({u"02", u"", u""})}},
        LoadCase{"LongLineDropped", "01\ta\tx\textra\r\n02\tb\ty\r\n", {rec({u"02", u"b", u"y"})}},
        LoadCase{"LaterKeyReplaces", "01\ta\tx\r\n01\tb\ty\r\n", {rec({u"01", u"b", u"y"})}},
        LoadCase{"EmptyKey", "\ta\tx\r\n", {rec({u"", u"a", u"x"})}},
        LoadCase{"Utf8Text",
                 "01\t\xc3\xa9t\xc3\xa9\t\xf0\x9f\x98\x80\r\n",
                 {rec({u"01", u"\u00e9t\u00e9", u"\U0001F600"})}},
        LoadCase{"NulBytesKept",
                 std::string("01\ta\0b\tx\r\n", 10),
                 {DatabaseRecord{u"01", std::u16string(u"a\0b", 3), u"x"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileDatabaseLoad, CrLfAndLfFilesLoadTheSame) {
  DatabaseFixture crlf, lf;
  auto a = crlf.loaded("01\ta\tx\r\n02\tb\ty\r\n");
  auto b = lf.loaded("01\ta\tx\n02\tb\ty\n");
  EXPECT_EQ(a->selectNotEqual(0, u"", 0), b->selectNotEqual(0, u"", 0));
}

struct SeparatorCase {
  const char* name;
  const char16_t* setting;
  std::string file;
  DatabaseRecord expected;
};

void PrintTo(const SeparatorCase& c, std::ostream* os) { *os << c.name; }

class SeparatorSetting : public ::testing::TestWithParam<SeparatorCase> {};

TEST_P(SeparatorSetting, UsesOnlyTheFirstCharacter) {
  DatabaseFixture f;
  f.settings.setString("db.separator", GetParam().setting);
  auto db = f.loaded(GetParam().file);
  DatabaseRecord got;
  ASSERT_TRUE(db->get(GetParam().expected[0], got));
  EXPECT_EQ(got, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SeparatorSetting,
    ::testing::Values(
        SeparatorCase{"Semicolon", u";", "01;a;x\r\n", rec({u"01", u"a", u"x"})},
        SeparatorCase{"FirstOfTwo", u";;", "01;a;x\r\n", rec({u"01", u"a", u"x"})},
        SeparatorCase{"EmptyMeansTab", u"", "01\ta;b\tx\r\n", rec({u"01", u"a;b", u"x"})},
        SeparatorCase{"TabIsNoSeparator", u";", "01\ta;b\r\n", rec({u"01\ta", u"b", u""})},
        SeparatorCase{"NonAscii", u"\u00a7", "01\u00a7a\u00a7x\r\n", rec({u"01", u"a", u"x"})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileDatabaseLoad, ResetGivesLargestIdentifierPlusTwo) {
  DatabaseFixture f;
  std::string file;
  for (int i = 1; i <= 10; ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "%08x\tn\tx\r\n", i);
    file += line;
  }
  auto db = f.loaded(file);
  EXPECT_EQ(db->peekNextId(), 12);
  EXPECT_EQ(db->newIdText(), u"0000000c");
  EXPECT_EQ(f.settings.getInt("db.id"), 13);
}

TEST(FileDatabaseLoad, WithoutResetKeepsTheConfiguredIdentifier) {
  DatabaseFixture f;
  f.settings.setInt("db.id", 40);
  f.dir.write("db.txt", "00000001\ta\tx\r\n");
  auto db = f.make();
  ASSERT_EQ(db->load(false), 0);
  EXPECT_EQ(db->nextId(), 40);
}

TEST(FileDatabaseLoad, MissingFileFailsAndLeavesMemory) {
  DatabaseFixture f;
  auto db = f.make();
  db->put(rec({u"01", u"a", u"x"}));
  errno = 0;
  EXPECT_EQ(db->load(true), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(db->count(), 1u);
}

TEST(FileDatabaseLoad, SkippedLinesAreKeptBesideTheFile) {
  DatabaseFixture f;
  auto db = f.loaded("# comment\r\n01\ta\tx\textra\r\n02\tb\ty\r\n03\t\xff\xfe\tz\r\n");
  ASSERT_EQ(f.loadResult, 0);
  // The long line is dropped, the bad UTF-8 is repaired and kept; both originals are saved.
  EXPECT_EQ(db->count(), 2u);
  DatabaseRecord got;
  ASSERT_TRUE(db->get(u"03", got));
  EXPECT_EQ(got[1], u"\uFFFD\uFFFD");
  EXPECT_EQ(f.dir.read("db.txt.rejected"), "01\ta\tx\textra\r\n03\t\xff\xfe\tz\r\n");
}

// Only names the writer itself makes go; a user's own files beside the folder stay, however
// they are named.
TEST(FileDatabaseLoad, RemovesWhatAKilledRewriteLeftAndNothingElse) {
  DatabaseFixture f;
  const std::string mark(kTemporaryFileMark);
  f.dir.write("db.txt" + mark + "AbC123", "half");
  f.dir.write("db.txt" + mark + "AbC12", "not of mkstemp");
  f.dir.write("db.txt" + mark + "AbC-23", "not of mkstemp");
  f.dir.write("other.txt" + mark + "AbC123", "another file's");
  f.dir.write("db.txt.tmp.backup", "user file");
  f.dir.write("db.txt.tmp.AbC123", "user file");
  f.loaded("01\ta\tx\r\n");
  EXPECT_FALSE(f.exists("db.txt" + mark + "AbC123"));
  for (const std::string& kept :
       {"db.txt" + mark + "AbC12", "db.txt" + mark + "AbC-23", "other.txt" + mark + "AbC123",
        std::string("db.txt.tmp.backup"), std::string("db.txt.tmp.AbC123")}) {
    EXPECT_TRUE(f.exists(kept)) << kept;
  }
}

TEST(FileDatabaseLoad, SkippedLinesAreNotedInTheLog) {
  DatabaseFixture f;
  Logger logger(f.dir.file("log.txt"));
  Logger::setGlobal(&logger);
  f.loaded("01\ta\tx\textra\r\n01\tb\ty\r\n01\tc\tz\r\n");
  Logger::setGlobal(nullptr);
  const std::string log = f.dir.read("log.txt");
  EXPECT_NE(log.find("2 line(s) skipped"), std::string::npos) << log;
  EXPECT_NE(log.find(f.path() + ".rejected"), std::string::npos) << log;
  // The replaced duplicate is kept too, in its padded form.
  EXPECT_EQ(f.dir.read("db.txt.rejected"), "01\ta\tx\textra\r\n01\tb\ty\r\n");
}

// What a crash during an append leaves: a last line with no line end and fields missing. It is
// set aside, not loaded padded, and the next save takes it out of the file.
TEST(FileDatabaseLoad, RecordCutShortAtTheEndIsSetAside) {
  DatabaseFixture f;
  Logger logger(f.dir.file("log.txt"));
  Logger::setGlobal(&logger);
  auto db = f.loaded("01\ta\tx\r\n02\tcut sh");
  Logger::setGlobal(nullptr);
  ASSERT_EQ(f.loadResult, 0);
  DatabaseRecord got;
  EXPECT_FALSE(db->get(u"02", got));
  EXPECT_EQ(db->count(), 1u);
  EXPECT_EQ(f.dir.read("db.txt.rejected"), "02\tcut sh\r\n");
  EXPECT_NE(f.dir.read("log.txt").find("1 line(s) cut short at the end set aside"),
            std::string::npos);

  db->put(rec({u"03", u"c", u"z"}));
  ASSERT_EQ(db->save(), 0);
  EXPECT_EQ(f.file(), "01\ta\tx\r\n03\tc\tz\r\n");
}

// However often a damaged file is loaded before a save takes its bad lines out, each of them is
// in ".rejected" once.
TEST(FileDatabaseLoad, RejectedLinesAreKeptOnce) {
  DatabaseFixture f;
  const std::string damaged =
      "01\ta\tx\textra\r\n01\ta\tx\textra\r\n02\tb\ty\r\n03\t\xff\tz\r\n04\tcu";
  f.dir.write("db.txt", damaged);
  for (int start = 0; start < 3; ++start) {
    auto db = f.make();
    ASSERT_EQ(db->load(true), 0);
    EXPECT_EQ(db->count(), 2u);
  }
  EXPECT_EQ(f.dir.read("db.txt.rejected"), "01\ta\tx\textra\r\n03\t\xff\tz\r\n04\tcu\r\n");

  auto db = f.make();
  ASSERT_EQ(db->load(true), 0);
  ASSERT_EQ(db->save(), 0);
  db.reset();
  EXPECT_EQ(f.file(), "02\tb\ty\r\n03\t\xEF\xBF\xBD\tz\r\n");
  f.make()->load(true);
  EXPECT_EQ(f.dir.read("db.txt.rejected"), "01\ta\tx\textra\r\n03\t\xff\tz\r\n04\tcu\r\n");
}

TEST(FileDatabaseLoad, CleanFileWritesNoRejectedFile) {
  DatabaseFixture f;
  f.loaded("# only a comment\r\n01\ta\tx\r\n");
  EXPECT_FALSE(f.exists("db.txt.rejected"));
}

// Bad input: the load either fails or skips, never crashes, and a later save never destroys what
// could not be read.
TEST(FileDatabaseBadInput, BinaryFileLoadsWithoutLosingBytes) {
  DatabaseFixture f;
  std::string binary;
  for (int i = 0; i < 64 * 1024; ++i) binary.push_back(static_cast<char>((i * 7919) & 0xff));
  auto db = f.loaded(binary);
  ASSERT_EQ(f.loadResult, 0);
  // Whatever could not be taken as it was is kept byte for byte beside the folder.
  EXPECT_FALSE(f.dir.read("db.txt.rejected").empty());
  db->put(rec({u"zz", u"new", u""}));
  EXPECT_EQ(db->save(), 0);
  const size_t count = db->count();
  db.reset();
  auto again = f.make();
  ASSERT_EQ(again->load(true), 0);
  EXPECT_EQ(again->count(), count);
}

TEST(FileDatabaseBadInput, FiftyMegabyteLineLoads) {
  DatabaseFixture f;
  std::string line = "01\tbig\t" + std::string(50 * 1024 * 1024, 'x') + "\r\n02\ta\tb\r\n";
  auto db = f.loaded(line);
  ASSERT_EQ(f.loadResult, 0);
  DatabaseRecord got;
  ASSERT_TRUE(db->get(u"01", got));
  EXPECT_EQ(got[2].size(), 50u * 1024 * 1024);
  EXPECT_EQ(db->count(), 2u);
}

TEST(FileDatabaseBadInput, DirectoryFailsAndIsNeverReplaced) {
  DatabaseFixture f;
  std::filesystem::create_directory(f.path());
  auto db = f.make();
  EXPECT_EQ(db->load(true), -1);
  db->put(rec({u"01", u"a", u"x"}));
  db->remove(u"none");  // forces the rewrite path
  EXPECT_EQ(db->save(), -1);
  EXPECT_TRUE(std::filesystem::is_directory(f.path()));
}

TEST(FileDatabaseBadInput, UnreadableFileIsNeverOverwritten) {
  DatabaseFixture f;
  f.dir.write("db.txt", "01\tprecious\tx\r\n");
  const int result = runUnableToRead(f.path(), f.dir.path(), [&] {
    auto db = f.make();
    if (db->load(true) != -1 || errno != EACCES) return 1;
    db->clear();  // an empty folder with a rewrite due
    if (db->save() != -1) return 2;
    db->put(rec({u"02", u"new", u""}));
    if (db->save() != -1) return 3;
    return 0;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(f.file(), "01\tprecious\tx\r\n");
}

TEST(FileDatabaseBadInput, SuccessfulReloadAllowsRewritesAgain) {
  DatabaseFixture f;
  std::filesystem::create_directory(f.path());
  auto db = f.make();
  EXPECT_EQ(db->load(true), -1);
  std::filesystem::remove(f.path());
  f.dir.write("db.txt", "01\ta\tx\r\n");
  ASSERT_EQ(db->load(true), 0);
  db->remove(u"01");
  EXPECT_EQ(db->save(), 0);
  EXPECT_EQ(db->compact(), 0);
  EXPECT_EQ(f.file(), "");
}

TEST(FileDatabaseBadInput, NoColumnsRefusesToLoad) {
  DatabaseFixture f(std::vector<std::u16string>{});
  auto db = f.loaded("01\ta\r\n");
  EXPECT_EQ(f.loadResult, -1);
  EXPECT_EQ(f.file(), "01\ta\r\n");
}

}  // namespace
}  // namespace parlane::test
