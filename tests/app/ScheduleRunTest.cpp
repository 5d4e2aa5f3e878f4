// Scheduled sending on the real program: messages queued with their times survive a stop; the
// held one goes at its time and not before, the one that expired meanwhile is filed as failed.
#include <sys/stat.h>

#include <ctime>
#include <filesystem>

#include "GatewayRun.h"
#include "SendRun.h"

namespace parlane {
namespace {

using test::FolderRecord;
using test::GatewayRun;
using test::runSend;
using test::SendResult;

// Outbox and sent columns read here.
constexpr std::size_t kContent = 5;
constexpr std::size_t kNotBefore = 14;

class ScheduleRun : public testing::Test, public GatewayRun {
 protected:
  // An event program that writes its PARLANE_* variables to one file per call.
  std::string eventScript() {
    ::mkdir(profile.file("events").c_str(), 0700);
    const std::string path = profile.file("event.sh");
    std::ofstream(path)
        << "#!/bin/sh\nout=" << profile.file("events")
        << "/$$\nenv | grep '^PARLANE_' > \"$out.tmp\" && mv \"$out.tmp\" \"$out\"\n";
    ::chmod(path.c_str(), 0755);
    return path;
  }
  // The calls of the event `name`, each with its variables as "NAME=value" lines.
  std::vector<std::string> calls(const std::string& name) const {
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(profile.file("events"), ec)) {
      if (entry.path().extension() == ".tmp") continue;
      std::ifstream in(entry.path());
      const std::string text((std::istreambuf_iterator<char>(in)), {});
      if (text.find("PARLANE_EVENT=" + name + "\n") != std::string::npos) found.push_back(text);
    }
    return found;
  }
  std::optional<FolderRecord> withText(const std::string& folderName, const std::string& text) {
    for (FolderRecord& record : folder(folderName)) {
      if (record.size() > kContent && record[kContent] == text) return record;
    }
    return std::nullopt;
  }
  std::string queue(const std::vector<std::string>& arguments) {
    const SendResult sent = runSend(*this, arguments);
    EXPECT_EQ(sent.code, 0) << sent.err;
    return sent.out.substr(0, sent.out.find('\n'));
  }
  void configureWith(const std::string& connect, const std::string& script) {
    // A stop saves the settings into the registry, which a start reads before the file.
    std::filesystem::remove_all(profile.file("config/Quortane SMS/registry"));
    configure({{"modem.emulation", "1"},
               {"modem.port", "ttyEMU0"},
               {"start.connect", connect},
               {"event.run", script}});
  }
};

TEST_F(ScheduleRun, HeldAndExpiringMessagesKeepTheirTimesAcrossARestart) {
  const std::string script = eventScript();
  // Not connected: what is queued stays in the outbox.
  configureWith("0", script);
  const pid_t first = start();
  // Taken at once, so that the expiry is still ahead when the file is read.
  ASSERT_TRUE(waitForLog("Spool: watching")) << log();
  const std::time_t queuedAt = std::time(nullptr);
  const std::string held = queue({"+4917012345", "--at", "10", "--text", "held"});
  const std::string doomed = queue({"+4917054321", "--expires", "5", "--text", "doomed"});
  ASSERT_TRUE(waitForLog("Spool: " + held + ": 1 message(s) queued")) << log();
  ASSERT_TRUE(waitForLog("Spool: " + doomed + ": 1 message(s) queued")) << log();
  const std::optional<FolderRecord> waiting = withText("outbox", "held");
  ASSERT_TRUE(waiting && waiting->size() > kNotBefore);
  const std::time_t notBefore = std::stoll(waiting->at(kNotBefore));
  EXPECT_GE(notBefore, queuedAt + 10);
  EXPECT_LE(notBefore, queuedAt + 12);
  ASSERT_TRUE(stop(first));

  // Started again once the second message has expired, and connected this time.
  while (std::time(nullptr) < queuedAt + 6)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  configureWith("1", script);
  const pid_t second = start();
  ASSERT_TRUE(waitForLog("Title: Parlane (connected to")) << log();
  ASSERT_TRUE(eventually([&] { return withText("failed", "doomed").has_value(); })) << log();
  EXPECT_TRUE(logHas("to +4917054321 not sent by its expiry: filed as failed, expired")) << log();
  ASSERT_TRUE(eventually([&] { return calls("failed").size() == 1; })) << log();
  EXPECT_NE(calls("failed")[0].find("PARLANE_STATUS=expired\n"), std::string::npos)
      << calls("failed")[0];
  // Not before its time, however fast the start was.
  const bool sentEarly = withText("sent", "held").has_value();
  if (std::time(nullptr) < notBefore) {
    EXPECT_FALSE(sentEarly);
  }
  ASSERT_TRUE(eventually([&] { return withText("sent", "held").has_value(); })) << log();
  EXPECT_GE(std::time(nullptr), notBefore);
  EXPECT_FALSE(withText("sent", "doomed").has_value());
  EXPECT_TRUE(stop(second));
  EXPECT_TRUE(folder("outbox").empty());
}

}  // namespace
}  // namespace parlane
