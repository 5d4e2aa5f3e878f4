#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "core/log/Logger.h"
#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"
#include "support/TempDir.h"
#include "ui/mainframe/StatusFileWriter.h"
#include "ui/mainframe/StatusLine.h"

namespace parlane {
namespace {

// Tests run with TZ=UTC: 1765334298 is 10-12-2025 02:38:18 UTC.
constexpr timespec kNow{1765334298, 123'456'789};

StatusSnapshot snapshot(ChannelStatus status) {
  StatusSnapshot s;
  s.windowHandle = 0xa01b2;
  s.pid = 1234;
  s.instance = 0;
  s.port = u"ttyUSB0";
  s.status = status;
  s.outboxCount = 2;
  s.errors = 0;
  return s;
}

TEST(StatusLine, HasExactlyThePiecesInOrder) {
  EXPECT_EQ(toUtf8(statusLine(snapshot(ChannelStatus::Idle), kNow)),
            "updated: 10-12-2025 02:38:18.123; hwnd: 000a01b2; pid: 1234; instance: 0; "
            "port: ttyUSB0; state:ready; outbox:2; errors:0");
  const char* words[] = {"disconnected", "ready", "configuring", "busy", "error"};
  for (int status = 0; status <= 4; ++status) {
    const std::string line = toUtf8(statusLine(snapshot(static_cast<ChannelStatus>(status)), kNow));
    EXPECT_NE(line.find(std::string("; state:") + words[status] + "; outbox:"), std::string::npos)
        << line;
  }
  StatusSnapshot big = snapshot(ChannelStatus::Error);
  big.windowHandle = 0xFFFFFFFF;
  big.errors = 10;
  big.instance = 9999;
  const std::string line = toUtf8(statusLine(big, kNow));
  EXPECT_NE(line.find("hwnd: ffffffff;"), std::string::npos);
  EXPECT_TRUE(line.ends_with("; instance: 9999; port: ttyUSB0; state:error; outbox:2; errors:10"))
      << line;
}

class StatusFileWriterTest : public testing::Test {
 protected:
  StatusFileWriterTest() {
    logger_ = std::make_unique<Logger>(dir_.file("log.txt"));
    Logger::setGlobal(logger_.get());
  }
  ~StatusFileWriterTest() override { Logger::setGlobal(nullptr); }

  test::TempDir dir_;
  SettingsStore settings_;
  std::unique_ptr<Logger> logger_;
};

TEST_F(StatusFileWriterTest, EmptySettingWritesNothing) {
  StatusFileWriter writer(settings_, 0, false);
  EXPECT_FALSE(writer.write(snapshot(ChannelStatus::Idle), kNow));
  EXPECT_EQ(writer.resolvePath(), "");
}

TEST_F(StatusFileWriterTest, WritesTheWholeLineInAPrivateFileAndReplacesIt) {
  settings_.setString("status.file", fromUtf8(dir_.file("gateway.status")));
  StatusFileWriter writer(settings_, 0, false);
  ASSERT_TRUE(writer.write(snapshot(ChannelStatus::Closed), kNow));
  EXPECT_EQ(dir_.read("gateway.status"),
            "updated: 10-12-2025 02:38:18.123; hwnd: 000a01b2; pid: 1234; instance: 0; "
            "port: ttyUSB0; state:disconnected; outbox:2; errors:0");
  struct stat info {};
  ASSERT_EQ(::stat(dir_.file("gateway.status").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  ASSERT_TRUE(writer.write(snapshot(ChannelStatus::Busy), kNow));
  EXPECT_NE(dir_.read("gateway.status").find("state:busy;"), std::string::npos);
  // Only the file itself is left in the folder: no temporary file.
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    ++files;
  }
  EXPECT_EQ(files, 2u);  // the status file and the log
}

TEST_F(StatusFileWriterTest, AnotherInstanceGetsItsOwnSharedNameKeptInTheSettings) {
  setenv("PARLANE_TEST_STATUS_DIR", dir_.path().c_str(), 1);
  settings_.setString("status.file", u"%PARLANE_TEST_STATUS_DIR%/zentrad.status");
  int saves = 0;
  StatusFileWriter writer(settings_, 2, false, [&] { ++saves; });
  ASSERT_TRUE(writer.write(snapshot(ChannelStatus::Idle), kNow));
  EXPECT_EQ(settings_.getString("status.file"), u"%PARLANE_TEST_STATUS_DIR%/zentrad.2.status");
  EXPECT_EQ(saves, 1);
  EXPECT_FALSE(dir_.read("zentrad.2.status").empty());
  // Written again: the name stays, no second save.
  ASSERT_TRUE(writer.write(snapshot(ChannelStatus::Idle), kNow));
  EXPECT_EQ(settings_.getString("status.file"), u"%PARLANE_TEST_STATUS_DIR%/zentrad.2.status");
  EXPECT_EQ(saves, 1);

  // Instance 0 and other names are left alone.
  settings_.setString("status.file", fromUtf8(dir_.file("zentrad.status")));
  StatusFileWriter first(settings_, 0, false, [&] { ++saves; });
  EXPECT_EQ(first.resolvePath(), dir_.file("zentrad.status"));
  settings_.setString("status.file", fromUtf8(dir_.file("other.status")));
  EXPECT_EQ(writer.resolvePath(), dir_.file("other.status"));
  EXPECT_EQ(saves, 1);
  unsetenv("PARLANE_TEST_STATUS_DIR");
}

TEST_F(StatusFileWriterTest, AMissingFolderIsLoggedOnceAndRetried) {
  settings_.setString("status.file", fromUtf8(dir_.file("missing/gateway.status")));
  StatusFileWriter writer(settings_, 0, false);
  EXPECT_FALSE(writer.write(snapshot(ChannelStatus::Idle), kNow));
  EXPECT_FALSE(writer.write(snapshot(ChannelStatus::Idle), kNow));
  const std::string log = dir_.read("log.txt");
  const std::string note = "Can't write the status file " + dir_.file("missing/gateway.status");
  ASSERT_NE(log.find(note), std::string::npos) << log;
  EXPECT_EQ(log.find(note), log.rfind(note)) << "logged once, not at every tick";

  std::filesystem::create_directory(dir_.file("missing"));
  EXPECT_TRUE(writer.write(snapshot(ChannelStatus::Idle), kNow));
  EXPECT_FALSE(dir_.read("missing/gateway.status").empty());
}

}  // namespace
}  // namespace parlane
