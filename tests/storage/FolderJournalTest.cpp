#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "DatabaseFixture.h"
#include "StoresFixture.h"
#include "storage/CaseInsensitiveText.h"
#include "storage/MessageRecords.h"

namespace parlane::test {
namespace {

// Every record, in key order, as the database holds it.
std::vector<DatabaseRecord> everything(const FileDatabase& db) {
  return db.selectNotEqual(0, u"\x01", 0);
}

void appendTo(const std::string& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  ::close(fd);
}

// What another program may do to the folder file while a journal lies beside it.
struct OutsideChange {
  const char* name;
  std::function<void(const DatabaseFixture&)> change;
  bool journalApplies;
  std::vector<DatabaseRecord> expected;
};

void PrintTo(const OutsideChange& c, std::ostream* os) { *os << c.name; }

class JournalOfAChangedFile : public ::testing::TestWithParam<OutsideChange> {};

TEST_P(JournalOfAChangedFile, AppliesOnlyToTheFileItWasWrittenFor) {
  DatabaseFixture f;
  auto db = f.loaded("01\ta\tx\r\n02\tb\ty\r\n");
  db->remove(u"01");
  ASSERT_EQ(db->save(), 0);
  db.reset();
  GetParam().change(f);

  auto again = f.make();
  ASSERT_EQ(again->load(true), 0);
  EXPECT_EQ(everything(*again), GetParam().expected);
  // A journal that doesn't belong to the file is set aside, not lost, and never applied later.
  EXPECT_EQ(f.exists("db.txt.journal.unmatched"), !GetParam().journalApplies);
  EXPECT_EQ(f.exists("db.txt.journal"), GetParam().journalApplies);
  again->put(rec({u"07", u"g", u""}));
  ASSERT_EQ(again->save(), 0);
  again.reset();
  auto third = f.make();
  ASSERT_EQ(third->load(true), 0);
  std::vector<DatabaseRecord> withNew = GetParam().expected;
  withNew.push_back(rec({u"07", u"g", u""}));
  EXPECT_EQ(everything(*third), withNew);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, JournalOfAChangedFile,
    ::testing::Values(OutsideChange{"ReplacedByRename",
                                    [](const DatabaseFixture& f) {
                                      f.dir.write("other.txt", "01\tq\tq\r\n05\te\tz\r\n");
                                      std::rename(f.dir.file("other.txt").c_str(),
                                                  f.path().c_str());
                                    },
                                    false,
                                    {rec({u"01", u"q", u"q"}), rec({u"05", u"e", u"z"})}},
                      OutsideChange{"RewrittenInPlace",
                                    [](const DatabaseFixture& f) {
                                      const int fd = ::open(f.path().c_str(), O_WRONLY | O_TRUNC);
                                      const std::string text = "01\tq\tq\r\n02\tb\ty\r\n";
                                      ASSERT_EQ(::write(fd, text.data(), text.size()),
                                                static_cast<ssize_t>(text.size()));
                                      ::close(fd);
                                    },
                                    false,
                                    {rec({u"01", u"q", u"q"}), rec({u"02", u"b", u"y"})}},
                      OutsideChange{
                          "AppendedTo",
                          [](const DatabaseFixture& f) { appendTo(f.path(), "03\tc\tz\r\n"); },
                          true,
                          {rec({u"02", u"b", u"y"}), rec({u"03", u"c", u"z"})}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FolderJournal, BatchCutShortByACrashIsDroppedAndTheNextOneFollowsTheWholeOnes) {
  DatabaseFixture f;
  auto db = f.loaded("01\ta\tx\r\n02\tb\ty\r\n03\tc\tz\r\n");
  db->remove(u"01");
  ASSERT_EQ(db->save(), 0);
  db.reset();
  // A save that died half-way: its commit line never made it.
  appendTo(f.dir.file("db.txt.journal"), "R\t02\r\nP\t03\tC\tZ\r\nC\t2\t3");

  auto again = f.make();
  ASSERT_EQ(again->load(true), 0);
  EXPECT_EQ(everything(*again), (std::vector{rec({u"02", u"b", u"y"}), rec({u"03", u"c", u"z"})}));
  again->put(rec({u"02", u"B", u"Y"}));
  ASSERT_EQ(again->save(), 0);
  again.reset();
  auto third = f.make();
  ASSERT_EQ(third->load(true), 0);
  EXPECT_EQ(everything(*third), (std::vector{rec({u"02", u"B", u"Y"}), rec({u"03", u"c", u"z"})}));
}

// Sequences of changes and saves: a fresh load shows exactly what memory held, and the equality
// searches find exactly what a scan would.
struct Sequence {
  const char* name;
  unsigned limit;
  std::function<void(FileDatabase&)> run;
};

void PrintTo(const Sequence& s, std::ostream* os) { *os << s.name; }

class JournalSequence : public ::testing::TestWithParam<Sequence> {};

TEST_P(JournalSequence, LoadsBackAsMemoryHeldIt) {
  DatabaseFixture f;
  f.settings.setInt("db.maxrecords", static_cast<int>(GetParam().limit));
  auto db = f.loaded("01\ta\tx\r\n02\tb\ty\r\n03\tc\tz\r\n");
  GetParam().run(*db);
  ASSERT_EQ(db->save(), 0);
  const std::vector<DatabaseRecord> held = everything(*db);
  for (const std::u16string value : {u"a", u"B", u"c", u"n"}) {
    std::vector<DatabaseRecord> scanned;
    for (const DatabaseRecord& record : held) {
      if (foldedText(std::u16string_view(record[1])) == foldedText(std::u16string_view(value))) {
        scanned.push_back(record);
      }
    }
    EXPECT_EQ(db->selectEqual(1, value, 0), scanned) << toUtf8(value);
  }
  db.reset();
  auto again = f.make();
  ASSERT_EQ(again->load(true), 0);
  EXPECT_EQ(everything(*again), held);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, JournalSequence,
    ::testing::Values(Sequence{"ReplaceThenAdd", 0,
                               [](FileDatabase& db) {
                                 db.put(rec({u"02", u"B", u"Y"}));
                                 db.save();
                                 db.put(rec({u"04", u"n", u""}));
                               }},
                      // The new record's key was removed through the journal: appended to the file,
                      // the journal's removal would take it away again at the next load.
                      Sequence{"RemoveThenAddTheSameKey", 0,
                               [](FileDatabase& db) {
                                 db.remove(u"02");
                                 db.save();
                                 db.put(rec({u"02", u"n", u"again"}));
                               }},
                      Sequence{"AddThenRemoveBeforeSaving", 0,
                               [](FileDatabase& db) {
                                 db.put(rec({u"04", u"n", u""}));
                                 db.remove(u"04");
                               }},
                      Sequence{"LimitDropsTheOldest", 3,
                               [](FileDatabase& db) {
                                 db.put(rec({u"04", u"n", u""}));
                                 db.save();
                                 db.put(rec({u"05", u"N", u""}));
                               }},
                      Sequence{"ClearThenAdd", 0,
                               [](FileDatabase& db) {
                                 db.remove(u"01");
                                 db.save();
                                 db.clear();
                                 db.put(rec({u"01", u"n", u""}));
                               }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FolderJournal, IsFoldedIntoTheFileOnceItOutgrowsItsShare) {
  DatabaseFixture f;
  auto db = f.loaded("01\ta\tx\r\n02\tb\ty\r\n");
  const std::u16string big(300000, u'z');
  int saves = 0;
  for (; saves < 10 && f.exists("db.txt.journal") == (saves > 0); ++saves) {
    db->put(rec({u"01", fromAscii(std::to_string(saves)).c_str(), big.c_str()}));
    ASSERT_EQ(db->save(), 0);
  }
  EXPECT_FALSE(f.exists("db.txt.journal"));
  EXPECT_LT(saves, 10);
  EXPECT_EQ(f.file(), "01\t" + std::to_string(saves - 1) + "\t" + toUtf8(big) + "\r\n02\tb\ty\r\n");
}

// A crash between writing a message into "sent" and taking it out of the outbox leaves it in
// both: the next start takes it out of the outbox, so that it doesn't go out twice.
TEST(FolderJournal, StartAfterAnInterruptedMoveTakesTheMessageOutOfTheOutbox) {
  StoresFixture f;
  ASSERT_TRUE(f.stores->open());
  const auto record = [](const char16_t* id, const char16_t* uniqueid, StoreKind folder) {
    DatabaseRecord r(storeColumns(folder).size());
    r[0] = id;
    r[static_cast<size_t>(columnIndex(folder, u"uniqueid"))] = uniqueid;
    return r;
  };
  f.stores->outbox().put(record(u"00000001", u"41", StoreKind::Outbox));
  f.stores->outbox().put(record(u"00000002", u"42", StoreKind::Outbox));
  ASSERT_EQ(f.stores->outbox().save(), 0);
  f.stores->sent().put(record(u"00000007", u"41", StoreKind::Sent));
  ASSERT_EQ(f.stores->sent().save(), 0);
  f.stores.reset();

  f.stores = std::make_unique<MessageStores>(f.settings, f.dir.path(), 0);
  ASSERT_TRUE(f.stores->open());
  EXPECT_EQ(f.stores->outbox().keys(), std::vector<std::u16string>{u"00000002"});
  EXPECT_EQ(f.stores->sent().count(), 1u);
}

}  // namespace
}  // namespace parlane::test
