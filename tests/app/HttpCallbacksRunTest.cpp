// The HTTP door's calls out from the real program, headless: a sendsms request's dlr-url fetched
// when the modem's status report comes, and webhooks retried while their receiver is down and
// across a restart of the gateway.
#include <gtest/gtest.h>
#include <httplib.h>

#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "GatewayRun.h"
#include "service/UrlEscapes.h"
#include "support/AnsweringModem.h"
#include "support/CallbackReceiver.h"
#include "support/ScriptedModem.h"

namespace parlane {
namespace {

using test::CallbackReceiver;
using test::expectedSignature;
using test::GatewayRun;
using test::ReceivedCall;

// A status report for reference 42 to +4915212345678, delivered.
constexpr char kReportPdu[] =
    "0791447758100650062A0D91945112325476F8622190010000406221900100504000";

class CallbacksRun : public GatewayRun {
 protected:
  std::map<std::string, std::string> doorSettings() const {
    return {{"http.enabled", "1"},
            {"http.listen", "127.0.0.1:0"},
            {"http.users.0.name", "nagios"},
            {"http.users.0.password", "s3cret"}};
  }

  // The port the system chose at the `nth` start, as the log names it; 0 when the door did not
  // open.
  int port(std::size_t nth = 1) const {
    constexpr std::string_view kListening = "HTTP: listening on 127.0.0.1:";
    int found = 0;
    eventually([&] {
      const std::string text = log();
      std::size_t at = 0;
      for (std::size_t i = 0; i < nth; ++i, at += kListening.size()) {
        at = text.find(kListening, at);
        if (at == std::string::npos) return false;
      }
      found = std::atoi(text.c_str() + at);
      return true;
    });
    return found;
  }

  // A sendsms request as a monitoring script sends it; the HTTP status.
  static int sendSms(int port, const std::string& query) {
    httplib::Client client("127.0.0.1", port);
    client.set_url_encode(false);
    const httplib::Result result =
        client.Get("/cgi-bin/sendsms?username=nagios&password=s3cret&" + query);
    return result ? result->status : 0;
  }

  bool connected() { return waitForLog("Title: Parlane (connected to"); }
};

class CallbacksOnModem : public testing::Test, public CallbacksRun {
 protected:
  test::ScriptedModem modem;
};

TEST_F(CallbacksOnModem, DlrUrlIsFetchedWithItsEscapesWhenTheReportComes) {
  CallbackReceiver receiver;
  auto settings = doorSettings();
  settings["modem.port"] = modem.portPath();
  configure(settings);
  modem.onCommand([](const std::string& command, std::string& reply) {
    if (command.empty() || command.starts_with("AT") ||
        command.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos) {
      return false;
    }
    reply = "\r\n+CMGS: 42\r\n\r\nOK\r\n";
    return true;
  });
  test::answerLikeAModem(modem);
  const pid_t gateway = start();
  ASSERT_TRUE(connected()) << log();
  const int door = port();
  ASSERT_GT(door, 0) << log();
  const std::string dlrUrl = receiver.url("/dlr?type=%d&to=%p&q=%q&ref=%F&id=%I&from=%P&a=%A");
  ASSERT_EQ(sendSms(door, "to=%2B4915212345678&from=nagios&text=PROBLEM+web1&dlr-mask=31&dlr-url=" +
                              urlEncoded(dlrUrl)),
            202)
      << log();
  ASSERT_TRUE(receiver.waitFor(1, std::chrono::seconds(30))) << log();
  ASSERT_EQ(folder("sent").size(), 1u);
  modem.send(std::string("\r\n+CDS: 25\r\n") + kReportPdu + "\r\n");
  ASSERT_TRUE(receiver.waitFor(2, std::chrono::seconds(30))) << log();
  const std::vector<ReceivedCall> calls = receiver.calls();
  const std::string id = calls[0].rawField("id");
  EXPECT_EQ(id.size(), 17u) << calls[0].target;
  EXPECT_EQ(calls[0].target, "/dlr?type=8&to=%2B4915212345678&q=%2B4915212345678&ref=42&id=" + id +
                                 "&from=nagios&a=%2BCMGS%3A%2042");
  EXPECT_EQ(calls[1].target, "/dlr?type=1&to=%2B4915212345678&q=%2B4915212345678&ref=42&id=" + id +
                                 "&from=nagios&a=delivered");
  EXPECT_TRUE(stop(gateway));
}

class CallbacksOnEmulator : public testing::Test, public CallbacksRun {};

// The "sent" events the receiver got, by message id, each body's signature checked.
std::multiset<std::string> sentEvents(const CallbackReceiver& receiver) {
  std::multiset<std::string> ids;
  for (const ReceivedCall& call : receiver.calls()) {
    EXPECT_EQ(call.header("X-Parlane-Signature"), expectedSignature(call.body, "k3y"));
    const nlohmann::json event = nlohmann::json::parse(call.body);
    if (event["event"] == "sent") ids.insert(event["custom"].get<std::string>());
  }
  return ids;
}

TEST_F(CallbacksOnEmulator, WebhooksWaitForAReceiverThatIsDownAndForTheNextStart) {
  CallbackReceiver receiver;
  const int hookPort = receiver.port();
  receiver.stop();
  auto settings = doorSettings();
  settings["modem.emulation"] = "1";
  settings["modem.port"] = "ttyEMU0";
  settings["http.webhook.url.0"] = receiver.url("/hook");
  settings["http.webhook.secret"] = "k3y";
  configure(settings);
  pid_t gateway = start();
  ASSERT_TRUE(connected()) << log();
  int door = port();
  ASSERT_GT(door, 0) << log();

  // Down when the first event comes: tried again after a pause.
  ASSERT_EQ(sendSms(door, "to=%2B4917012345&text=first"), 202);
  ASSERT_TRUE(waitForLog("was not delivered")) << log();
  ASSERT_TRUE(receiver.start(hookPort));
  ASSERT_TRUE(receiver.waitFor(1, std::chrono::seconds(30))) << log();
  EXPECT_EQ(sentEvents(receiver).size(), 1u);

  // Down again, and the gateway stops before it comes back.
  receiver.stop();
  ASSERT_EQ(sendSms(door, "to=%2B4917012345&text=second"), 202);
  ASSERT_TRUE(eventually([&] { return folder("sent").size() == 2; })) << log();
  EXPECT_TRUE(stop(gateway));
  ASSERT_TRUE(receiver.start(hookPort));
  gateway = start();
  ASSERT_TRUE(receiver.waitFor(2, std::chrono::seconds(30))) << log();
  const std::multiset<std::string> ids = sentEvents(receiver);
  EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), 2u);
  EXPECT_TRUE(stop(gateway));
}

}  // namespace
}  // namespace parlane
