#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "core/util/FileIo.h"
#include "support/TempDir.h"

namespace parlane {
namespace {

unsigned modeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 0777;
}

size_t entriesIn(const std::string& folder) {
  size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder)) ++n;
  return n;
}

TEST(FileIo, AtomicWriteCreatesAndReplacesPrivateFiles) {
  test::TempDir dir;
  const std::string path = dir.file("inbox.txt");
  ASSERT_TRUE(writeFileAtomically(path, "first\r\n"));
  EXPECT_EQ(dir.read("inbox.txt"), "first\r\n");
  EXPECT_EQ(modeOf(path), 0600u);

  ::chmod(path.c_str(), 0644);
  ASSERT_TRUE(writeFileAtomically(path, std::string("second\0with NUL", 15)));
  EXPECT_EQ(dir.read("inbox.txt"), std::string("second\0with NUL", 15));
  EXPECT_EQ(modeOf(path), 0600u);

  ASSERT_TRUE(writeFileAtomically(path, "", 0640));
  EXPECT_EQ(dir.read("inbox.txt"), "");
  EXPECT_EQ(modeOf(path), 0640u);
  EXPECT_EQ(entriesIn(dir.path()), 1u) << "no temporary file is left behind";
}

TEST(FileIo, FailedAtomicWriteKeepsTheOldFile) {
  test::TempDir dir;
  dir.write("keep/cfg", "old content");
  dir.write("target/sub/x", "occupied");
  const struct {
    const char* name;
    std::string path;
  } cases[] = {
      {"missing folder", dir.file("missing/cfg")},
      {"a folder in the way", dir.file("target/sub")},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(writeFileAtomically(c.path, "new")) << c.name;
  }
  EXPECT_EQ(dir.read("target/sub/x"), "occupied");
  EXPECT_EQ(entriesIn(dir.file("target")), 1u);
}

TEST(FileIo, AtomicWriteIntoUnwritableFolderKeepsTheOldFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into any folder";
  test::TempDir dir;
  dir.write("ro/cfg", "old content");
  ASSERT_EQ(::chmod(dir.file("ro").c_str(), 0500), 0);
  EXPECT_FALSE(writeFileAtomically(dir.file("ro/cfg"), "new content"));
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(dir.read("ro/cfg"), "old content");
}

// A full disk, shown for real in a child process whose file size limit is below the new
// content (this works as root too).
TEST(FileIo, AtomicWriteOnAFullDiskKeepsTheOldFile) {
  test::TempDir dir;
  dir.write("cfg", "old content");
  const std::string path = dir.file("cfg");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const bool ok = writeFileAtomically(path, std::string(100000, 'x'));
    ::_exit(!ok && errno == EFBIG ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the write must fail with EFBIG";
  EXPECT_EQ(dir.read("cfg"), "old content");
  EXPECT_EQ(entriesIn(dir.path()), 1u) << "the temporary file is removed";
}

TEST(FileIo, AppendCreatesPrivateFileAndAppends) {
  test::TempDir dir;
  const std::string path = dir.file("log.txt");
  ASSERT_TRUE(appendToFile(path, "one\r\n"));
  ASSERT_TRUE(appendToFile(path, "two\r\n"));
  EXPECT_EQ(dir.read("log.txt"), "one\r\ntwo\r\n");
  EXPECT_EQ(modeOf(path), 0600u);
  EXPECT_FALSE(appendToFile(dir.file("missing/log.txt"), "x"));
}

TEST(FileIo, ReadWholeFile) {
  test::TempDir dir;
  const std::string big(300000, 'b');
  dir.write("big", big);
  dir.write("folder/x", "");
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  EXPECT_EQ(readWholeFile(dir.file("big")), big);

  const struct {
    const char* name;
    std::string path;
    int error;
  } failures[] = {
      {"missing", dir.file("nothing"), ENOENT},
      {"a folder", dir.file("folder"), EISDIR},
      {"a FIFO without a writer", dir.file("fifo"), EINVAL},
      {"a device", "/dev/null", EINVAL},
  };
  for (const auto& f : failures) {
    errno = 0;
    EXPECT_FALSE(readWholeFile(f.path).has_value()) << f.name;
    EXPECT_EQ(errno, f.error) << f.name;
  }
}

}  // namespace
}  // namespace parlane
