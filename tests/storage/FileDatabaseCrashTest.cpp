#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "DatabaseFixture.h"
#include "core/util/FileIo.h"

namespace parlane::test {
namespace {

constexpr int kRecords = 100000;

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
// through `ready` once the first rewrite began.
[[noreturn]] void rewriteForever(DatabaseFixture& f, int ready) {
  auto db = f.make();
  if (db->Load(true) != 0) ::_exit(2);
  for (int round = 0;; ++round) {
    db->Put({u"00000001", u"B" + fromAscii(std::to_string(round)), contentFor(1)});
    if (round == 0) {
      const char byte = 1;
      if (::write(ready, &byte, 1) != 1) ::_exit(3);
    }
    if (db->Save() != 0) ::_exit(4);
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
  DatabaseFixture f;
  std::string file;
  for (int id = 1; id <= kRecords; ++id) {
    file += keyFor(id) + "\tA\t" + toUtf8(contentFor(id)) + "\r\n";
  }
  f.dir.write("db.txt", file);

  int interrupted = 0;
  // Different delays land the kill in different places of the rewrite; go on until several of
  // them hit the writing itself.
  const int delays[] = {0, 5, 20, 45, 90, 140, 200, 13, 33, 70, 110, 170};
  for (int round = 0; round < 36 && (round < 8 || interrupted < 3); ++round) {
    const int delayMs = delays[round % 12];
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
    ::close(pipeFds[0]);
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child ended by itself, status " << status;

    interrupted += temporaryFiles(f);
    auto db = f.make();
    ASSERT_EQ(db->Load(true), 0) << "delay " << delayMs;
    EXPECT_EQ(temporaryFiles(f), 0) << "a load clears what a killed rewrite left";
    ASSERT_EQ(db->Count(), static_cast<size_t>(kRecords)) << "delay " << delayMs;
    DatabaseRecord record;
    ASSERT_TRUE(db->Get(u"00000001", record));
    EXPECT_TRUE(record[1] == u"A" || record[1][0] == u'B') << toUtf8(record[1]);
    // Every record complete: the last one proves the file was not cut short.
    ASSERT_TRUE(db->Get(fromAscii(keyFor(kRecords)), record));
    EXPECT_EQ(record[2], contentFor(kRecords));
    EXPECT_EQ(db->SelectNotContaining(2, u"Message ", 0).size(), 0u);
    EXPECT_FALSE(f.exists("db.txt.rejected"));
  }
  // Temporary files left behind show that kills landed in the middle of writing.
  ::testing::Test::RecordProperty("interrupted_rewrites", interrupted);
  EXPECT_GE(interrupted, 3);
}

}  // namespace
}  // namespace parlane::test
