// The HTTP door's calls out, made from message events: a sendsms request's dlr-url, the incoming
// URL and the webhooks, received by a real server on loopback; then the same on the gateway
// in-process on its emulator.
#include <gtest/gtest.h>
#include <httplib.h>

#include <nlohmann/json.hpp>
#include <string>

#include "core/util/Clock.h"
#include "message/MessageFlags.h"
#include "message/StatusReport.h"
#include "service/HttpCallbacks.h"
#include "service/HttpDoor.h"
#include "service/ServiceRig.h"
#include "service/UrlEscapes.h"
#include "support/CallbackReceiver.h"

namespace parlane::test {
namespace {

constexpr char kReceiver[] = "+4915212345678";

// The events of one message as the service thread reports them.
MessageEvent sent() {
  MessageEvent event;
  event.kind = MessageEvent::Kind::Sent;
  event.id = "7";
  event.custom = "h1";
  event.number = kReceiver;
  event.reference = "42";
  return event;
}
MessageEvent failed() {
  MessageEvent event = sent();
  event.kind = MessageEvent::Kind::Failed;
  event.reference.clear();
  event.reason = "+CMS ERROR: 500";
  return event;
}
MessageEvent report(const std::string& status) {
  MessageEvent event = sent();
  event.kind = MessageEvent::Kind::Report;
  event.status = status;
  // Only a final report is matched with the sent record and takes its custom field.
  if (status == "still trying") event.custom.clear();
  return event;
}

struct ReportUrlCase {
  std::string name;
  int mask;
  std::vector<MessageEvent> events;
  // "%d|%A" of each fetch, in order.
  std::vector<std::string> fetched;
};

void PrintTo(const ReportUrlCase& c, std::ostream* os) { *os << c.name; }

class ReportUrlTest : public testing::TestWithParam<ReportUrlCase> {
 protected:
  LogCapture log_;
  TempDir dir_;
  ManualClock clock_;
  SettingsStore settings_;
  CallbackReceiver receiver_;
};

TEST_P(ReportUrlTest, IsFetchedForTheEventsOfItsMask) {
  HttpCallbacks callbacks(settings_, 0, dir_.file("callbacks"), dir_.file("reporturls"), clock_);
  callbacks.start();
  DeliveryReportUrl entry;
  entry.id = "h1";
  entry.mask = GetParam().mask;
  entry.url = receiver_.url("/dlr?v=%d&a=%A");
  entry.receiver = kReceiver;
  callbacks.reportUrls().add(entry);
  for (const MessageEvent& event : GetParam().events) callbacks.onEvent(event);
  // Calls to one receiver go in order: once this one came, every earlier one has.
  callbacks.queue().add(QueuedCallback{"GET", receiver_.url("/end"), "", "end"});
  ASSERT_TRUE(receiver_.waitFor(GetParam().fetched.size() + 1));
  std::vector<std::string> fetched;
  for (const ReceivedCall& call : receiver_.calls()) {
    if (call.target != "/end") fetched.push_back(call.rawField("v") + "|" + call.rawField("a"));
  }
  EXPECT_EQ(fetched, GetParam().fetched);
  // The last report the mask asks for ends the entry.
  EXPECT_EQ(callbacks.reportUrls().size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReportUrlTest,
    testing::Values(
        ReportUrlCase{"EveryStep",
                      31,
                      {sent(), report("still trying"), report("delivered")},
                      {"8|%2BCMGS%3A%2042", "4|still%20trying", "1|delivered"}},
        ReportUrlCase{"OnlyTheFinalReport",
                      3,
                      {sent(), report("still trying"), report("not delivered")},
                      {"2|not%20delivered"}},
        ReportUrlCase{"DeliveredNotAsked", 2, {sent(), report("delivered")}, {}},
        ReportUrlCase{"RefusedByTheCentre", 31, {failed()}, {"16|%2BCMS%20ERROR%3A%20500"}},
        ReportUrlCase{
            "AcceptedOnlyNeedsNoReport", 8, {sent(), report("delivered")}, {"8|%2BCMGS%3A%2042"}}),
    [](const testing::TestParamInfo<ReportUrlCase>& info) { return info.param.name; });

class CallbacksTest : public testing::Test {
 protected:
  LogCapture log_;
  TempDir dir_;
  ManualClock clock_;
  SettingsStore settings_;
  CallbackReceiver receiver_;
};

TEST_F(CallbacksTest, AReportAfterARestartStillReachesItsUrl) {
  DeliveryReportUrl entry;
  entry.id = "h1";
  entry.mask = 1;
  entry.url = receiver_.url("/dlr?v=%d&ref=%F&to=%q&from=%P&id=%I&T=%T");
  entry.receiver = "004915212345678";
  entry.sender = "web 1";
  entry.created = clock_.wallSeconds();
  {
    HttpCallbacks callbacks(settings_, 0, dir_.file("callbacks"), dir_.file("reporturls"), clock_);
    callbacks.reportUrls().add(entry);
    callbacks.onEvent(sent());
  }
  HttpCallbacks callbacks(settings_, 0, dir_.file("callbacks"), dir_.file("reporturls"), clock_);
  callbacks.start();
  callbacks.onEvent(report("delivered"));
  ASSERT_TRUE(receiver_.waitFor(1));
  EXPECT_EQ(receiver_.calls()[0].target,
            "/dlr?v=1&ref=42&to=%2B4915212345678&from=web%201&id=h1&T=" +
                std::to_string(clock_.wallSeconds()));
}

TEST_F(CallbacksTest, AReportUrlIsForgottenAfterAWeekWithoutReport) {
  DeliveryReportUrl entry;
  entry.mask = 1;
  entry.url = "http://127.0.0.1:1/dlr";
  {
    DeliveryReportUrls urls(dir_.file("reporturls"), clock_.wallSeconds());
    entry.id = "old";
    entry.created = clock_.wallSeconds() - DeliveryReportUrls::kKeepSeconds - 1;
    urls.add(entry);
    entry.id = "young";
    entry.created = clock_.wallSeconds() - DeliveryReportUrls::kKeepSeconds;
    urls.add(entry);
  }
  DeliveryReportUrls urls(dir_.file("reporturls"), clock_.wallSeconds());
  EXPECT_FALSE(urls.find("old"));
  EXPECT_TRUE(urls.find("young"));
  EXPECT_TRUE(log_.contains("1 message(s) got no report within 7 days"));
}

TEST_F(CallbacksTest, AStillTryingReportIsMatchedByReferenceAndNumber) {
  HttpCallbacks callbacks(settings_, 0, dir_.file("callbacks"), dir_.file("reporturls"), clock_);
  callbacks.start();
  for (const char* id : {"h1", "h2"}) {
    DeliveryReportUrl entry;
    entry.id = id;
    entry.mask = 4;
    entry.url = receiver_.url("/dlr?id=%I");
    callbacks.reportUrls().add(entry);
  }
  // Both got reference 42: the second to another number.
  callbacks.onEvent(sent());
  MessageEvent other = sent();
  other.custom = "h2";
  other.number = "+4917000000";
  callbacks.onEvent(other);
  MessageEvent trying = report("still trying");
  trying.number = "4915212345678";
  callbacks.onEvent(trying);
  ASSERT_TRUE(receiver_.waitFor(1));
  EXPECT_EQ(receiver_.calls()[0].target, "/dlr?id=h1");
}

TEST_F(CallbacksTest, EveryWebhookGetsTheSignedEventAndTheIncomingUrlItsEscapes) {
  settings_.setString("http.webhook.url.0", fromUtf8(receiver_.url("/a")));
  settings_.setString("http.webhook.url.1", fromUtf8(receiver_.url("/b")));
  settings_.setString("http.webhook.url.3", fromUtf8(receiver_.url("/after-a-gap")));
  settings_.setString("http.webhook.secret", u"k3y");
  settings_.setString("http.incoming_url", fromUtf8(receiver_.url("/in?from=%p&k=%k&r=%r&i=%i")));
  HttpCallbacks callbacks(settings_, 2, dir_.file("callbacks"), dir_.file("reporturls"), clock_);
  callbacks.start();
  MessageEvent received;
  received.kind = MessageEvent::Kind::Received;
  received.id = "12";
  received.number = "+4917099999";
  received.text = "STATUS web1 \"über\"";
  received.time = "2026-12-10T16:40:00Z";
  received.type = "sms";
  callbacks.onEvent(received);
  ASSERT_TRUE(receiver_.waitFor(3));
  const std::vector<ReceivedCall> calls = receiver_.calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].target, "/a");
  EXPECT_EQ(calls[1].target, "/b");
  EXPECT_EQ(calls[2].target, "/in?from=%2B4917099999&k=STATUS&r=web1%20%22%C3%BCber%22&i=2");
  for (const ReceivedCall& call : {calls[0], calls[1]}) {
    EXPECT_EQ(call.header("X-Parlane-Signature"), expectedSignature(call.body, "k3y"));
    const nlohmann::json body = nlohmann::json::parse(call.body);
    EXPECT_EQ(body["event"], "received");
    EXPECT_EQ(body["id"], "12");
    EXPECT_EQ(body["number"], "+4917099999");
    EXPECT_EQ(body["text"], "STATUS web1 \"über\"");
    EXPECT_EQ(body["time"], "2026-12-10T16:40:00Z");
    EXPECT_EQ(body["type"], "sms");
    EXPECT_EQ(body["instance"], "2");
  }
}

TEST_F(CallbacksTest, AReportOfACentreStillTryingIsNoWebhook) {
  settings_.setString("http.webhook.url.0", fromUtf8(receiver_.url("/hook")));
  HttpCallbacks callbacks(settings_, 0, dir_.file("callbacks"), dir_.file("reporturls"), clock_);
  callbacks.start();
  callbacks.onEvent(report("still trying"));
  callbacks.onEvent(report("delivered"));
  ASSERT_TRUE(receiver_.waitFor(1));
  callbacks.queue().add(QueuedCallback{"GET", receiver_.url("/end"), "", "end"});
  ASSERT_TRUE(receiver_.waitFor(2));
  EXPECT_EQ(nlohmann::json::parse(receiver_.calls()[0].body)["status"], "delivered");
  EXPECT_EQ(receiver_.calls()[1].target, "/end");
}

// The gateway in-process on its emulator with its HTTP door and its callbacks.
class GatewayCallbacks : public testing::Test {
 protected:
  void SetUp() override {
    rig_.settings.setInt("http.enabled", 1);
    rig_.settings.setString("http.listen", u"127.0.0.1:0");
    rig_.settings.setString("http.users.0.name", u"nagios");
    rig_.settings.setString("http.users.0.password", u"s3cret");
    rig_.settings.setString("http.webhook.url.0", fromUtf8(receiver_.url("/hook")));
    rig_.settings.setString("http.webhook.secret", u"k3y");
    rig_.settings.setString("http.incoming_url", fromUtf8(receiver_.url("/in?from=%p&text=%a")));
    rig_.start();
    ASSERT_TRUE(rig_.connect());
    ASSERT_NE(rig_.gateway().http(), nullptr);
    client_ = std::make_unique<httplib::Client>("127.0.0.1", rig_.gateway().http()->port());
    client_->set_url_encode(false);
  }

  std::vector<ReceivedCall> callsTo(const std::string& path) {
    std::vector<ReceivedCall> found;
    for (const ReceivedCall& call : receiver_.calls()) {
      if (call.target.starts_with(path)) found.push_back(call);
    }
    return found;
  }

  CallbackReceiver receiver_;
  ServiceRig rig_{ServiceRig::Options{.port = "", .schedulerClock = nullptr, .events = true}};
  std::unique_ptr<httplib::Client> client_;
};

TEST_F(GatewayCallbacks, SendSmsWithDlrUrlIsToldOfTheSendAndOfTheReport) {
  const httplib::Result result = client_->Get(
      "/cgi-bin/sendsms?username=nagios&password=s3cret&to=%2B4915212345678&text=disk+full"
      "&from=nagios&dlr-mask=31&dlr-url=" +
      urlEncoded(receiver_.url("/dlr?v=%d&to=%p&ref=%F&id=%I&from=%P")));
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 202);
  ASSERT_TRUE(eventually([&] { return callsTo("/dlr").size() == 1; }));
  const std::vector<DatabaseRecord> records = rig_.records(StoreKind::Sent);
  ASSERT_EQ(records.size(), 1u);
  const DatabaseRecord& record = records[0];
  const std::string reference = toUtf8(rig_.field(record, StoreKind::Sent, u"refid"));
  const std::string id = toUtf8(rig_.field(record, StoreKind::Sent, u"custom"));
  // A status report was asked for.
  EXPECT_NE(
      std::stoi(toUtf8(rig_.field(record, StoreKind::Sent, u"flags"))) & messageFlags::kReport, 0);
  EXPECT_EQ(callsTo("/dlr")[0].target,
            "/dlr?v=8&to=%2B4915212345678&ref=" + reference + "&id=" + id + "&from=nagios");

  rig_.service->push(ServiceItem{
      1026, 0,
      std::make_unique<StatusReport>(u"+4915212345678", u"", std::stoi(reference), 0, 0x00)});
  ASSERT_TRUE(eventually([&] { return callsTo("/dlr").size() == 2; }));
  EXPECT_EQ(callsTo("/dlr")[1].target,
            "/dlr?v=1&to=%2B4915212345678&ref=" + reference + "&id=" + id + "&from=nagios");
  // The webhook heard of both events too.
  ASSERT_TRUE(eventually([&] { return callsTo("/hook").size() == 2; }));
  EXPECT_EQ(nlohmann::json::parse(callsTo("/hook")[0].body)["event"], "sent");
  EXPECT_EQ(nlohmann::json::parse(callsTo("/hook")[1].body)["event"], "report");
}

TEST_F(GatewayCallbacks, AStoredIncomingMessageFetchesTheIncomingUrlAndTheWebhook) {
  auto message = std::make_unique<SMSMessage>(u"+4917099999", u"", u"hello über");
  rig_.service->push(ServiceItem{1026, 0, std::move(message)});
  ASSERT_TRUE(
      eventually([&] { return callsTo("/in").size() == 1 && callsTo("/hook").size() == 1; }));
  EXPECT_EQ(callsTo("/in")[0].target, "/in?from=%2B4917099999&text=hello%20%C3%BCber");
  const ReceivedCall hook = callsTo("/hook")[0];
  EXPECT_EQ(hook.header("X-Parlane-Signature"), expectedSignature(hook.body, "k3y"));
  EXPECT_EQ(nlohmann::json::parse(hook.body)["text"], "hello über");
}

}  // namespace
}  // namespace parlane::test
