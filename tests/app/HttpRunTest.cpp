// The HTTP door of the real program, headless on its emulator, with curl as the client.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

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
               {"http.users.0.password", "s3cret"},
               {"http.token", "t0ken"}});
  }

  // The port the system chose, as the log names it; 0 when the door did not open.
  int port() const {
    constexpr std::string_view kListening = "HTTP: listening on 127.0.0.1:";
    if (!waitForLog(std::string(kListening))) return 0;
    const std::string text = log();
    return std::atoi(text.c_str() + text.find(kListening) + kListening.size());
  }

  // curl as a monitoring script runs it; the body, then the status on its own line.
  static std::string curl(const std::string& url, std::vector<std::string> options = {}) {
    ProcessLaunch launch;
    launch.program = "/usr/bin/curl";
    launch.arguments = {"-s", "-S", "--max-time", "10", "-w", "\n%{http_code}"};
    launch.arguments.insert(launch.arguments.end(), options.begin(), options.end());
    launch.arguments.push_back(url);
    const ProcessResult result = runProcess(launch);
    return result.out + result.err;
  }
  // The JSON API with the token; the body, or nothing when the status is not `status`.
  nlohmann::json api(const std::string& path, int status, const std::string& body = {}) {
    std::vector<std::string> options = {"-H", "Authorization: Bearer t0ken"};
    if (!body.empty()) {
      options.insert(options.end(), {"-H", "Content-Type: application/json", "--data", body});
    }
    const std::string reply = curl(base_ + path, options);
    const std::size_t cut = reply.rfind('\n');
    if (cut == std::string::npos || reply.substr(cut + 1) != std::to_string(status)) {
      ADD_FAILURE() << path << " answered " << reply;
      return {};
    }
    return nlohmann::json::parse(reply.substr(0, cut), nullptr, false);
  }

  std::string base_;
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

TEST_F(HttpOnEmulator, JsonSendStateAndInboxPagesThroughCurl) {
  const pid_t gateway = start();
  ASSERT_TRUE(waitForLog("Title: Parlane (connected to")) << log();
  const int listening = port();
  ASSERT_GT(listening, 0) << log();
  base_ = "http://127.0.0.1:" + std::to_string(listening);
  // The emulator answers each "SEND <number> <text>" with an incoming message from that number.
  std::vector<std::string> ids;
  for (const char* text : {"one", "two", "three"}) {
    const nlohmann::json accepted =
        api("/api/v1/messages", 202,
            std::string(R"({"to": ["+4917012345"], "text": "SEND +4915198765 )") + text + "\"}");
    ASSERT_EQ(accepted["ids"].size(), 1u) << accepted.dump();
    ids.push_back(accepted["ids"][0]);
  }
  for (const std::string& id : ids) {
    nlohmann::json state;
    ASSERT_TRUE(eventually([&] {
      state = api("/api/v1/messages/" + id, 200);
      return state["state"] == "sent";
    })) << state.dump();
    EXPECT_EQ(state["folder"], "sent");
    EXPECT_FALSE(state["reference"].get<std::string>().empty());
  }
  api("/api/v1/messages/h0000000000000000", 404);

  ASSERT_TRUE(eventually([&] { return folder("inbox").size() == 3; })) << log();
  std::vector<std::string> seen;
  nlohmann::json page = api("/api/v1/inbox?limit=2", 200);
  for (const nlohmann::json& message : page["messages"]) seen.push_back(message["text"]);
  EXPECT_EQ(page["more"], true);
  page = api("/api/v1/inbox?limit=2&since=" + page["next"].get<std::string>(), 200);
  for (const nlohmann::json& message : page["messages"]) seen.push_back(message["text"]);
  EXPECT_EQ(page["more"], false);
  EXPECT_THAT(seen, testing::UnorderedElementsAre("one", "two", "three"));
  EXPECT_EQ(page["messages"][0]["from"], "+4915198765");
  EXPECT_TRUE(stop(gateway));
}

}  // namespace
}  // namespace parlane
