#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "DatabaseFixture.h"
#include "StoresFixture.h"
#include "core/util/FileIo.h"

namespace parlane::test {
namespace {

constexpr int kRecords = 100000;

// The kills must land inside writes, and a sanitizer build is so much slower at everything around
// the writes that they rarely do, while the rounds take minutes. These tests look for lost data,
// not memory errors: the plain build runs them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizerBuild = true;
#else
constexpr bool kSanitizerBuild = false;
#endif

std::u16string contentFor(int id) {
  std::u16string text = u"Message " + fromAscii(std::to_string(id)) + u": ";
  while (text.size() < 160) text += static_cast<char16_t>(u'a' + (id + text.size()) % 26);
  return text;
}

std::string keyFor(int id) {
  char key[16];
  std::snprintf(key, sizeof key, "%08x", id);
  return key;
}

// Rewrites the folder over and over, changing record 1 each time, until killed. Tells the parent
// through `ready` when the first rewrite begins and when it ends, so that the parent can time the
// kill by how long a rewrite takes on this build and this machine.
[[noreturn]] void rewriteForever(DatabaseFixture& f, int ready) {
  auto db = f.make();
  if (db->load(true) != 0) ::_exit(2);
  const char byte = 1;
  for (int round = 0;; ++round) {
    db->put({u"00000001", u"B" + fromAscii(std::to_string(round)), contentFor(1)});
    if (round == 0 && ::write(ready, &byte, 1) != 1) ::_exit(3);
    // A replacement alone goes to the journal: the rewrite is asked for.
    if (db->compact() != 0) ::_exit(4);
    if (round == 0 && ::write(ready, &byte, 1) != 1) ::_exit(3);
  }
}

int temporaryFiles(const DatabaseFixture& f) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(f.dir.path())) {
    if (entry.path().filename().string().rfind("db.txt" + std::string(kTemporaryFileMark), 0) ==
        0) {
      ++count;
    }
  }
  return count;
}

TEST(FileDatabaseCrash, KillDuringRewriteLeavesOldOrNewFile) {
  if (kSanitizerBuild) GTEST_SKIP() << "crash timing needs the plain build";
  DatabaseFixture f;
  std::string file;
  for (int id = 1; id <= kRecords; ++id) {
    file += keyFor(id) + "\tA\t" + toUtf8(contentFor(id)) + "\r\n";
  }
  f.dir.write("db.txt", file);

  int interrupted = 0;
  // Different points of a rewrite, in hundredths of its duration, land the kill in different
  // places of it; go on until several of them hit the writing itself.
  const int points[] = {0, 25, 50, 75, 90, 10, 60, 95, 35, 80, 15, 99};
  for (int round = 0; round < 36 && (round < 8 || interrupted < 3); ++round) {
    const int point = points[round % 12];
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(pipeFds[0]);
      rewriteForever(f, pipeFds[1]);
    }
    ::close(pipeFds[1]);
    char byte = 0;
    ASSERT_EQ(::read(pipeFds[0], &byte, 1), 1) << "child never started rewriting";
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(::read(pipeFds[0], &byte, 1), 1) << "child never finished its first rewrite";
    const auto rewrite = std::chrono::steady_clock::now() - started;
    ::close(pipeFds[0]);
    std::this_thread::sleep_for(rewrite * point / 100);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child ended by itself, status " << status;

    interrupted += temporaryFiles(f);
    auto db = f.make();
    ASSERT_EQ(db->load(true), 0) << "point " << point;
    EXPECT_EQ(temporaryFiles(f), 0) << "a load clears what a killed rewrite left";
    ASSERT_EQ(db->count(), static_cast<size_t>(kRecords)) << "point " << point;
    DatabaseRecord record;
    ASSERT_TRUE(db->get(u"00000001", record));
    EXPECT_TRUE(record[1] == u"A" || record[1][0] == u'B') << toUtf8(record[1]);
    // Every record complete: the last one proves the file was not cut short.
    ASSERT_TRUE(db->get(fromAscii(keyFor(kRecords)), record));
    EXPECT_EQ(record[2], contentFor(kRecords));
    EXPECT_EQ(db->selectNotContaining(2, u"Message ", 0).size(), 0u);
    EXPECT_FALSE(f.exists("db.txt.rejected"));
  }
  // Temporary files left behind show that kills landed in the middle of writing.
  ::testing::Test::RecordProperty("interrupted_rewrites", interrupted);
  EXPECT_GE(interrupted, 3);
}

// Lines a reader of the file could take whole: every line that ends in LF has `fields` fields.
// Only the last line may still be growing (an append under way).
size_t brokenLines(const std::string& text, size_t fields) {
  size_t broken = 0;
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find('\n', start);
    if (end == std::string::npos) break;
    const std::string_view line(text.data() + start, end - start);
    if (static_cast<size_t>(std::count(line.begin(), line.end(), '\t')) + 1 != fields) ++broken;
    start = end + 1;
  }
  return broken;
}

std::string outboxLine(int n) {
  // id, timestamp, to, type, segments, content, url, dstton, flags, uniqueid, attempts, source,
  // validity, custom, notbefore, expires
  return keyFor(n) + "\t1700000000\t+4917000" + std::to_string(n) + "\tsms\t1\t" +
         toUtf8(contentFor(n)) + "\t\t1\t0\t" + std::to_string(n) + "\t0\t\t86400\t\t\t\r\n";
}

// A sending loop's bookkeeping without the modem: each message is written into "sent", then
// taken out of the outbox, and its uniqueid told to the parent once both saves returned.
[[noreturn]] void sendResultsUntilKilled(StoresFixture& f, int progress) {
  f.stores = std::make_unique<MessageStores>(f.settings, f.dir.path(), 0);
  if (!f.stores->open()) ::_exit(2);
  FileDatabase& outbox = f.stores->outbox();
  FileDatabase& sent = f.stores->sent();
  const auto uniqueidColumn = static_cast<size_t>(columnIndex(StoreKind::Outbox, u"uniqueid"));
  for (const std::u16string& key : outbox.keys()) {
    DatabaseRecord record;
    if (!outbox.get(key, record)) ::_exit(5);
    DatabaseRecord done(storeColumns(StoreKind::Sent).size());
    done[0] = sent.newIdText();
    done[static_cast<size_t>(columnIndex(StoreKind::Sent, u"uniqueid"))] = record[uniqueidColumn];
    done[static_cast<size_t>(columnIndex(StoreKind::Sent, u"content"))] =
        record[static_cast<size_t>(columnIndex(StoreKind::Outbox, u"content"))];
    sent.put(done);
    if (sent.save() != 0) ::_exit(4);
    outbox.remove(key);
    if (outbox.save() != 0) ::_exit(4);
    const int uniqueid = std::stoi(toUtf8(record[uniqueidColumn]));
    if (::write(progress, &uniqueid, sizeof uniqueid) != sizeof uniqueid) ::_exit(3);
  }
  ::_exit(0);
}

TEST(FileDatabaseCrash, KillDuringSendResultsLeavesEachMessageInExactlyOneFolder) {
  if (kSanitizerBuild) GTEST_SKIP() << "crash timing needs the plain build";
  StoresFixture f;
  std::string file;
  for (int n = 1; n <= kRecords; ++n) file += outboxLine(n);
  f.dir.write("outbox.txt", file);
  file.clear();
  const size_t outboxFields = storeColumns(StoreKind::Outbox).size();
  const size_t sentFields = storeColumns(StoreKind::Sent).size();
  std::mt19937 random(20261211);
  std::vector<int> confirmed;
  int results = 0;
  for (int round = 0; round < 12 && results < 1000; ++round) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(pipeFds[0]);
      sendResultsUntilKilled(f, pipeFds[1]);
    }
    ::close(pipeFds[1]);
    // Kill after a random number of results, a random moment into the next one.
    const int wanted = 1 + static_cast<int>(random() % 150);
    for (int got = 0; got < wanted; ++got) {
      int uniqueid = 0;
      ASSERT_EQ(::read(pipeFds[0], &uniqueid, sizeof uniqueid), sizeof uniqueid)
          << "child stopped before it was killed";
      confirmed.push_back(uniqueid);
      // A reader looking at the folders while they are written finds whole records.
      if (got % 50 == 25) {
        EXPECT_EQ(brokenLines(f.dir.read("outbox.txt"), outboxFields), 0u);
        EXPECT_EQ(brokenLines(f.dir.read("sent.txt"), sentFields), 0u);
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child ended by itself, status " << status;
    int uniqueid = 0;
    while (::read(pipeFds[0], &uniqueid, sizeof uniqueid) == sizeof uniqueid) {
      confirmed.push_back(uniqueid);
    }
    ::close(pipeFds[0]);
    results = static_cast<int>(confirmed.size());
    EXPECT_EQ(brokenLines(f.dir.read("outbox.txt"), outboxFields), 0u);

    f.stores = std::make_unique<MessageStores>(f.settings, f.dir.path(), 0);
    ASSERT_TRUE(f.stores->open());
    std::vector<int> folders(kRecords + 1, 0);
    std::vector<bool> inSent(kRecords + 1, false);
    for (StoreKind kind : {StoreKind::Outbox, StoreKind::Sent}) {
      const auto column = static_cast<size_t>(columnIndex(kind, u"uniqueid"));
      for (const DatabaseRecord& record : f.stores->store(kind).selectNotEqual(0, u"\x01", 0)) {
        const int n = std::stoi(toUtf8(record[column]));
        ASSERT_TRUE(n >= 1 && n <= kRecords);
        ++folders[static_cast<size_t>(n)];
        if (kind == StoreKind::Sent) inSent[static_cast<size_t>(n)] = true;
      }
    }
    for (int n = 1; n <= kRecords; ++n) {
      ASSERT_EQ(folders[static_cast<size_t>(n)], 1) << "message " << n << ", round " << round;
    }
    for (int n : confirmed) ASSERT_TRUE(inSent[static_cast<size_t>(n)]) << "message " << n;
    f.stores.reset();
  }
  EXPECT_GE(results, 300);
}

// Folds the journal into the folder over and over (a replacement of record 1 each time), until
// killed; tells the parent when the first compaction begins and when it ends.
[[noreturn]] void compactForever(DatabaseFixture& f, int ready) {
  auto db = f.make();
  if (db->load(true) != 0) ::_exit(2);
  const char byte = 1;
  for (int round = 0;; ++round) {
    for (int change = 0; change < 20; ++change) {
      db->put({u"00000001", u"B" + fromAscii(std::to_string(round)), contentFor(1)});
      if (db->save() != 0) ::_exit(4);
    }
    if (round == 0 && ::write(ready, &byte, 1) != 1) ::_exit(3);
    if (db->compact() != 0) ::_exit(4);
    if (round == 0 && ::write(ready, &byte, 1) != 1) ::_exit(3);
  }
}

TEST(FileDatabaseCrash, KillDuringCompactionLosesNothing) {
  if (kSanitizerBuild) GTEST_SKIP() << "crash timing needs the plain build";
  DatabaseFixture f;
  std::string file;
  for (int id = 1; id <= kRecords; ++id) {
    file += keyFor(id) + "\tA\t" + toUtf8(contentFor(id)) + "\r\n";
  }
  f.dir.write("db.txt", file);
  int interrupted = 0;
  const int points[] = {0, 25, 50, 75, 90, 10, 60, 95, 35, 80, 15, 99};
  for (int round = 0; round < 36 && (round < 8 || interrupted < 3); ++round) {
    const int point = points[round % 12];
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(pipeFds[0]);
      compactForever(f, pipeFds[1]);
    }
    ::close(pipeFds[1]);
    char byte = 0;
    ASSERT_EQ(::read(pipeFds[0], &byte, 1), 1) << "child never started compacting";
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(::read(pipeFds[0], &byte, 1), 1) << "child never finished its first compaction";
    const auto compaction = std::chrono::steady_clock::now() - started;
    ::close(pipeFds[0]);
    std::this_thread::sleep_for(compaction * point / 100);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child ended by itself, status " << status;
    interrupted += temporaryFiles(f);

    // The folder file alone is whole at every moment: other programs read it without the journal.
    EXPECT_EQ(brokenLines(f.file(), 3), 0u);
    auto db = f.make();
    ASSERT_EQ(db->load(true), 0) << "point " << point;
    ASSERT_EQ(db->count(), static_cast<size_t>(kRecords)) << "point " << point;
    DatabaseRecord record;
    ASSERT_TRUE(db->get(u"00000001", record));
    EXPECT_TRUE(record[1] == u"A" || record[1][0] == u'B') << toUtf8(record[1]);
    ASSERT_TRUE(db->get(fromAscii(keyFor(kRecords)), record));
    EXPECT_EQ(record[2], contentFor(kRecords));
    EXPECT_EQ(db->selectNotContaining(2, u"Message ", 0).size(), 0u);
    EXPECT_FALSE(f.exists("db.txt.rejected"));
    EXPECT_FALSE(f.exists("db.txt.journal.unmatched")) << "point " << point;
  }
  ::testing::Test::RecordProperty("interrupted_compactions", interrupted);
  EXPECT_GE(interrupted, 3);
}

// The append path: big records (a large write can be cut by SIGKILL) added one by one. The child
// says "S" before each save and the record's id once the save returned; the parent kills it at a
// different moment after the start of a save each round. The big field is not the last one, as
// "content" in the outbox, and the last one is empty, as "custom" usually is.
constexpr size_t kBigRecord = 4 << 20;

std::u16string bigNote(const std::u16string& id) {
  static const std::u16string body = [] {
    std::u16string text;
    text.reserve(kBigRecord);
    while (text.size() < kBigRecord) text += static_cast<char16_t>(u'a' + text.size() % 23);
    return text;
  }();
  return u"note of " + id + u":" + body;
}

[[noreturn]] void appendUntilKilled(DatabaseFixture& f, int progress) {
  auto db = f.make();
  if (db->load(true) != 0) ::_exit(2);
  for (;;) {
    const std::u16string id = db->newIdText();
    db->put({id, bigNote(id), u""});
    const std::string message = "S";
    if (::write(progress, message.data(), 1) != 1) ::_exit(3);
    if (db->save() != 0) ::_exit(4);
    const std::string key = toUtf8(id);
    if (::write(progress, key.data(), key.size()) != static_cast<ssize_t>(key.size())) {
      ::_exit(3);
    }
  }
}

TEST(FileDatabaseCrash, KillDuringAppendLosesNoConfirmedRecordAndLoadsNoCutOne) {
  if (kSanitizerBuild) GTEST_SKIP() << "crash timing needs the plain build";
  DatabaseFixture f(std::vector<std::u16string>{u"id", u"note", u"tail"});
  int cutRounds = 0;
  int round = 0;
  // Go on until some kills have cut an append short.
  for (; round < 72 && (round < 24 || cutRounds < 2); ++round) {
    f.dir.write("db.txt", "00000001\tseed\t\r\n");
    std::filesystem::remove(f.dir.file("db.txt.rejected"));
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(pipeFds[0]);
      appendUntilKilled(f, pipeFds[1]);
    }
    ::close(pipeFds[1]);
    // Kill somewhere in the second save (or just after it): from 0 to 10 ms after it began.
    std::string progress;
    for (int saves = 0; saves < 2;) {
      char c = 0;
      ASSERT_EQ(::read(pipeFds[0], &c, 1), 1) << "child stopped before it was killed";
      progress += c;
      if (c == 'S') ++saves;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(400 * (round % 24)));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child ended by itself, status " << status;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
      progress.append(buffer, static_cast<size_t>(n));
    }
    ::close(pipeFds[0]);
    std::erase(progress, 'S');
    ASSERT_EQ(progress.size() % 8, 0u);

    auto db = f.make();
    ASSERT_EQ(db->load(true), 0);
    for (size_t at = 0; at < progress.size(); at += 8) {
      DatabaseRecord record;
      const std::u16string id = fromAscii(progress.substr(at, 8));
      ASSERT_TRUE(db->get(id, record)) << "confirmed record " << toUtf8(id) << " lost";
    }
    // Every record that loads is whole: at most one more than confirmed (written, then killed
    // before it could say so).
    const auto records = db->selectNotEqual(1, u"\x01", 0);
    EXPECT_GE(records.size(), progress.size() / 8 + 1);
    EXPECT_LE(records.size(), progress.size() / 8 + 2);
    for (const auto& record : records) {
      if (record[0] == u"00000001") continue;
      ASSERT_TRUE(record[1] == bigNote(record[0]))
          << "cut record " << toUtf8(record[0]) << " loaded, " << record[1].size() << " units";
      ASSERT_EQ(record[2], u"");
    }
    if (f.exists("db.txt.rejected")) ++cutRounds;

    // The next save leaves a file whose every line is whole.
    db->put({db->newIdText(), u"after", u""});
    ASSERT_EQ(db->save(), 0);
    const size_t count = db->count();
    db.reset();
    auto again = f.make();
    ASSERT_EQ(again->load(true), 0);
    EXPECT_EQ(again->count(), count);
    EXPECT_EQ(again->selectEqual(2, u"", 0).size(), count);
  }
  // Rounds whose kill cut an append short, so that the set-aside path was taken.
  ::testing::Test::RecordProperty("cut_appends", cutRounds);
  std::printf("appends cut short by the kill: %d of %d rounds\n", cutRounds, round);
  EXPECT_GE(cutRounds, 1);
}

}  // namespace
}  // namespace parlane::test
