// The HTTP door of the real program, headless on its emulator, with curl as the client.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "GatewayRun.h"
#include "support/ChildProcess.h"

namespace parlane {
namespace {

using test::FolderRecord;
using test::GatewayRun;
using test::ProcessLaunch;
using test::ProcessResult;

// Folder columns read here.
constexpr std::size_t kTo = 2;
constexpr std::size_t kContent = 5;

class HttpOnEmulator : public testing::Test, public GatewayRun {
 protected:
  void SetUp() override {
    configure({{"modem.emulation", "1"},
               {"modem.port", "ttyEMU0"},
               {"http.enabled", "1"},
               {"http.listen", "127.0.0.1:0"},
               {"http.users.0.name", "nagios"},
               {"http.users.0.password", "s3cret"}});
  }

  // The port the system chose, as the log names it; 0 when the door did not open.
  int port() const {
    constexpr std::string_view kListening = "HTTP: listening on 127.0.0.1:";
    if (!waitForLog(std::string(kListening))) return 0;
    const std::string text = log();
    return std::atoi(text.c_str() + text.find(kListening) + kListening.size());
  }

  // curl as a monitoring script runs it; the body, then the status on its own line.
  static std::string curl(const std::string& url) {
    ProcessLaunch launch;
    launch.program = "/usr/bin/curl";
    launch.arguments = {"-s", "-S", "--max-time", "10", "-w", "\n%{http_code}", url};
    const ProcessResult result = runProcess(launch);
    return result.out + result.err;
  }
};

TEST_F(HttpOnEmulator, SendsTheQueryOfAMonitoringScript) {
  const pid_t gateway = start();
  ASSERT_TRUE(waitForLog("Title: Parlane (connected to")) << log();
  const int listening = port();
  ASSERT_GT(listening, 0) << log();
  const std::string reply =
      curl("http://127.0.0.1:" + std::to_string(listening) +
           "/cgi-bin/sendsms?username=nagios&password=s3cret&to=%2B4917012345+%2B4917012346"
           "&text=PROBLEM%3A+web1+is+DOWN+%C3%BCber+5+min");
  EXPECT_EQ(reply, "0: Accepted for delivery\n\n202");
  ASSERT_TRUE(eventually([&] { return folder("sent").size() == 2; })) << log();
  std::vector<std::string> receivers;
  for (const FolderRecord& record : folder("sent")) {
    EXPECT_EQ(record.at(kContent), "PROBLEM: web1 is DOWN über 5 min");
    receivers.push_back(record.at(kTo));
  }
  EXPECT_THAT(receivers, testing::UnorderedElementsAre("+4917012345", "+4917012346"));
  EXPECT_FALSE(logHas("s3cret"));
  EXPECT_TRUE(stop(gateway));
}

}  // namespace
}  // namespace parlane
