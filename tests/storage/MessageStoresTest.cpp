#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "StoresFixture.h"
#include "UnreadableFile.h"
#include "core/util/ErrorText.h"
#include "core/util/Utf.h"
#include "message/MessageIdCounter.h"
#include "message/SMSMessage.h"
#include "storage/InstanceFileName.h"
#include "storage/MessageRecords.h"
#include "storage/MessageStores.h"

namespace parlane::test {
namespace {

TEST(MessageStores, CreatesMissingFilesOwnerOnly) {
  StoresFixture f;
  ASSERT_TRUE(f.stores->open());
  for (const char* name : {"inbox.txt", "outbox.txt", "sent.txt", "failed.txt", "addrbook.txt"}) {
    struct stat st {};
    ASSERT_EQ(::stat(f.dir.file(name).c_str(), &st), 0) << name;
    EXPECT_EQ(st.st_mode & 0777, 0600u) << name;
  }
}

TEST(MessageStores, DeclaresTheSchemas) {
  StoresFixture f;
  f.settings.setString("sent.columns.3", u"stale");
  f.settings.setString("sent.columns.14", u"extra");
  ASSERT_TRUE(f.stores->open());
  EXPECT_EQ(f.settings.getString("inbox.columns.10"), u"destination");
  EXPECT_EQ(f.settings.getString("inbox.columns.11"), u"");
  EXPECT_EQ(f.settings.getString("sent.columns.3"), u"type");
  EXPECT_EQ(f.stores->sent().columns().size(), 14u);
  EXPECT_EQ(f.stores->failed().columns().size(), 13u);
  EXPECT_EQ(f.stores->addressBook().columns(),
            (std::vector<std::u16string>{u"name", u"number", u"group", u"custom"}));
}

struct InstanceCase {
  const char* name;
  const char16_t* file;
  int instance;
  const char16_t* expected;
};

void PrintTo(const InstanceCase& c, std::ostream* os) { *os << c.name; }

class InstanceFileNames : public ::testing::TestWithParam<InstanceCase> {};

TEST_P(InstanceFileNames, GiveEachInstanceItsOwnFile) {
  EXPECT_EQ(instanceFileName(GetParam().file, GetParam().instance), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, InstanceFileNames,
    ::testing::Values(InstanceCase{"NoInstance", u"inbox.txt", 0, u"inbox.txt"},
                      InstanceCase{"InstanceBeforeTheExtension", u"inbox.txt", 3, u"inbox.3.txt"},
                      InstanceCase{"InstanceAlreadyThere", u"inbox.3.txt", 3, u"inbox.3.txt"},
                      InstanceCase{"OtherInstanceAdded", u"inbox.3.txt", 4, u"inbox.3.4.txt"},
                      InstanceCase{"FirstDotTakesTheNumber", u"a.txt/b.txt", 2, u"a.2.txt/b.txt"},
                      InstanceCase{"OtherExtensionGetsItAtTheEnd", u"inbox.dat", 5, u"inbox.dat.5"},
                      InstanceCase{"AtTheEndAlreadyThere", u"inbox.dat.5", 5, u"inbox.dat.5"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MessageStores, InstanceUsesItsOwnFilesAndWritesTheNamesBack) {
  StoresFixture f(3);
  ASSERT_TRUE(f.stores->open());
  EXPECT_EQ(f.settings.getString("inbox.filename"), u"inbox.3.txt");
  EXPECT_EQ(f.settings.getString("addrbook.filename"), u"addrbook.3.txt");
  EXPECT_TRUE(std::filesystem::exists(f.dir.file("outbox.3.txt")));
  EXPECT_FALSE(std::filesystem::exists(f.dir.file("outbox.txt")));
}

TEST(MessageStores, UnopenableStoreStopsStartUpAndIsLeftAlone) {
  StoresFixture f;
  std::filesystem::create_directory(f.dir.file("sent.txt"));
  StoreOpenFailure failure;
  EXPECT_FALSE(f.stores->open(&failure));
  EXPECT_EQ(failure.store, u"sent");
  EXPECT_EQ(failure.fileName, u"sent.txt");
  EXPECT_EQ(failure.error, EISDIR);
  EXPECT_TRUE(f.stores->isOpen(StoreKind::Outbox));
  EXPECT_FALSE(f.stores->isOpen(StoreKind::Failed));
  EXPECT_TRUE(std::filesystem::is_directory(f.dir.file("sent.txt")));
  EXPECT_EQ(failure.message(), u"Error opening file (sent.txt): " + errorText(EISDIR));
  // Shut-down still saves what did open.
  f.stores->inbox().put({u"00000001", u"1", u"+49", u"sms", u"x"});
  EXPECT_TRUE(f.stores->saveAll());
  EXPECT_FALSE(f.dir.read("inbox.txt").empty());
}

TEST(MessageStores, UnreadableFileIsReportedNotRecreated) {
  StoresFixture f;
  f.dir.write("inbox.txt", "00000001\t1\t+49\tsms\tkeep me\r\n");
  const int result = runUnableToRead(f.dir.file("inbox.txt"), f.dir.path(), [&] {
    StoreOpenFailure failure;
    if (f.stores->open(&failure)) return 1;
    if (failure.store != u"inbox" || failure.error != EACCES) return 2;
    f.stores->saveAll();
    return 0;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(f.dir.read("inbox.txt"), "00000001\t1\t+49\tsms\tkeep me\r\n");
}

TEST(MessageStores, LargestStoredIdRaisesTheMessageIdSetting) {
  StoresFixture f;
  // uniqueid is column 9 in every folder; the addrbook does not count.
  f.dir.write("inbox.txt", "00000001\t1\t+49\tsms\tx\t\t0\t0\t0\t900\t\r\n");
  f.dir.write("sent.txt",
              "00000001\t1\t+49\tsms\t1\tx\t\t1\t0\t1200\t7\t\t0\t\r\n"
              "00000002\t1\t+49\tsms\t1\tx\t\t1\t0\t95\t7\t\t0\t\r\n");
  f.dir.write("failed.txt", "00000001\t1\t+49\tsms\t1\tx\t\t1\t0\t1100\t\t0\t\r\n");
  f.dir.write("addrbook.txt", "5000\t5000\t5000\t5000\r\n");
  ASSERT_TRUE(f.stores->open());
  EXPECT_EQ(f.stores->largestStoredMessageId(), 1200);

  f.settings.setInt("message.id", 1000);
  MessageIdCounter::loadFrom(f.settings, f.stores->largestStoredMessageId());
  EXPECT_EQ(f.settings.getInt("message.id"), 1200);
  EXPECT_EQ(MessageIdCounter::peek(), 1201);

  f.settings.setInt("message.id", 3000);
  MessageIdCounter::loadFrom(f.settings, f.stores->largestStoredMessageId());
  EXPECT_EQ(f.settings.getInt("message.id"), 3000);
}

TEST(MessageStores, EmptyFoldersGiveZero) {
  StoresFixture f;
  ASSERT_TRUE(f.stores->open());
  EXPECT_EQ(f.stores->largestStoredMessageId(), 0);
}

TEST(MessageStores, SaveAllWritesEveryStore) {
  StoresFixture f;
  ASSERT_TRUE(f.stores->open());
  for (StoreKind kind : kAllStores) {
    FileDatabase& store = f.stores->store(kind);
    store.put({store.newIdText(), u"x"});
  }
  EXPECT_TRUE(f.stores->saveAll());
  f.stores.reset();
  MessageStores reopened(f.settings, f.dir.path(), 0);
  ASSERT_TRUE(reopened.open());
  for (StoreKind kind : kAllStores) EXPECT_EQ(reopened.store(kind).count(), 1u);
}

// A power cut after a message was filed in "sent" or "failed" may lose its removal from the
// outbox, which waits for a later flush: start-up takes each such message out of the outbox.
struct SettleCase {
  const char* name;
  int sent;        // messages filed in "sent" whose removals were lost
  int failed;      // the same in "failed"
  int filedAfter;  // messages filed in "sent" after them whose removals stood
};

void PrintTo(const SettleCase& c, std::ostream* os) { *os << c.name; }

class LostRemovals : public ::testing::TestWithParam<SettleCase> {};

TEST_P(LostRemovals, AreMadeAgainAtStartUp) {
  StoresFixture f;
  ASSERT_TRUE(f.stores->open());
  int uniqueid = 500;
  const auto file = [&](StoreKind kind, bool alsoQueued) {
    SMSMessage message(u"", u"+4917012345", u"message " + fromAscii(std::to_string(uniqueid)));
    message.uniqueid = uniqueid++;
    FileDatabase& folder = f.stores->store(kind);
    folder.put(outgoingRecord(message, kind, folder.newIdText()));
    if (alsoQueued) {
      f.stores->outbox().put(
          outgoingRecord(message, StoreKind::Outbox, f.stores->outbox().newIdText()));
    }
  };
  file(StoreKind::Outbox, false);  // waits to be sent: stays
  for (int i = 0; i < GetParam().sent; ++i) file(StoreKind::Sent, true);
  for (int i = 0; i < GetParam().failed; ++i) file(StoreKind::Failed, true);
  for (int i = 0; i < GetParam().filedAfter; ++i) file(StoreKind::Sent, false);
  ASSERT_TRUE(f.stores->saveAll());
  f.stores.reset();

  MessageStores reopened(f.settings, f.dir.path(), 0);
  ASSERT_TRUE(reopened.open());
  const std::vector<DatabaseRecord> queued = reopened.outbox().selectNotEqual(0, u"", 0);
  ASSERT_EQ(queued.size(), 1u);
  EXPECT_EQ(queued[0][static_cast<size_t>(columnIndex(StoreKind::Outbox, u"uniqueid"))], u"500");
  EXPECT_EQ(reopened.sent().count(), static_cast<size_t>(GetParam().sent + GetParam().filedAfter));
  EXPECT_EQ(reopened.failed().count(), static_cast<size_t>(GetParam().failed));
}

INSTANTIATE_TEST_SUITE_P(
    Moves, LostRemovals,
    ::testing::Values(SettleCase{"NewestSent", 1, 0, 0}, SettleCase{"NewestFailed", 0, 1, 0},
                      SettleCase{"EveryUnflushedSent",
                                 static_cast<int>(FileDatabase::kUnflushedSaves) + 1, 0, 0},
                      SettleCase{"SentAndFailed", 3, 2, 0},
                      SettleCase{"BehindLaterMoves", 4, 0, 5}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace parlane::test
