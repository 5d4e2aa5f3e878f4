// The HTTP door in-process on the emulator, spoken to over real loopback HTTP.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "core/util/Clock.h"
#include "message/SMSMessage.h"
#include "message/StatusReport.h"
#include "service/CServiceThread.h"
#include "service/HttpDoor.h"
#include "service/ServiceRig.h"
#include "storage/MessageRecords.h"
#include "support/ChildProcess.h"
#include "transport/NoticeCodes.h"

namespace parlane::test {
namespace {

// The door on a free loopback port, with a user for the query and a token for the JSON API.
void openDoor(SettingsStore& settings) {
  settings.setInt("http.enabled", 1);
  settings.setString("http.listen", u"127.0.0.1:0");
  settings.setString("http.users.0.name", u"nagios");
  settings.setString("http.users.0.password", u"s3cret");
  settings.setString("http.token", u"t0ken");
  settings.setString("numbers.deny", u"+1900");
}

class HttpDoorTest : public testing::Test {
 protected:
  void SetUp() override { openDoor(rig_.settings); }

  // Starts the gateway (connected unless told otherwise) and a client for its door.
  void start(bool connect = true) {
    rig_.start();
    ASSERT_NE(rig_.gateway().http(), nullptr);
    ASSERT_GT(rig_.gateway().http()->port(), 0);
    if (connect) {
      ASSERT_TRUE(rig_.connect());
    }
    client_ = std::make_unique<httplib::Client>("127.0.0.1", rig_.gateway().http()->port());
    // The queries below are sent as scripts send them, already encoded.
    client_->set_url_encode(false);
  }

  httplib::Result getJson(const std::string& path) {
    return client_->Get(path, {{"Authorization", "Bearer t0ken"}});
  }

  ManualClock clock_;
  ServiceRig rig_{ServiceRig::Options{.port = "", .schedulerClock = &clock_}};
  std::unique_ptr<httplib::Client> client_;
};

struct Refusal {
  std::string name;
  std::string query;
  int status;
  std::string body;
};

void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }

class SendSmsRefusal : public HttpDoorTest, public testing::WithParamInterface<Refusal> {};

TEST_P(SendSmsRefusal, QueuesNothingAndSaysWhy) {
  rig_.settings.setInt("http.max_recipients", 2);
  start();
  const httplib::Result result = client_->Get("/cgi-bin/sendsms?" + GetParam().query);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, GetParam().status);
  EXPECT_EQ(result->body, GetParam().body + "\n");
  EXPECT_EQ(rig_.count(StoreKind::Outbox) + rig_.count(StoreKind::Sent), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SendSmsRefusal,
    testing::Values(
        Refusal{"NoUser", "to=%2B4915112345678&text=hi", 403, "Authorization failed for sendsms"},
        Refusal{"WrongPassword", "username=nagios&password=s3cres&to=%2B4915112345678&text=hi", 403,
                "Authorization failed for sendsms"},
        Refusal{"UnknownUser", "user=root&pass=s3cret&to=%2B4915112345678&text=hi", 403,
                "Authorization failed for sendsms"},
        Refusal{"NoReceiver", "username=nagios&password=s3cret&text=hi", 400,
                "Missing receiver number"},
        Refusal{"BinaryHeaderTooShort",
                "username=nagios&password=s3cret&to=%2B4915112345678&text=hi&coding=1&udh=%05%00",
                400, "Invalid udh: its first octet must give the length of the rest"},
        Refusal{"TooManyReceivers",
                "username=nagios&password=s3cret&to=%2B4915112345671+%2B4915112345672+"
                "%2B4915112345673&text=hi",
                400, "Too many receivers (3, at most 2)"},
        Refusal{"OneBadNumber", "username=nagios&password=s3cret&to=%2B4915112345671+12ab&text=hi",
                400, "Invalid request: \"12ab\" is not a phone number"},
        Refusal{"DeniedNumber",
                "username=nagios&password=s3cret&to=%2B4915112345671+%2B19005551234&text=hi", 403,
                "Receiver +19005551234: not allowed"},
        Refusal{"NotUtf8", "username=nagios&password=s3cret&to=%2B4915112345671&text=%FF%FE", 400,
                "Text is not valid UTF-8"}),
    [](const testing::TestParamInfo<Refusal>& info) { return info.param.name; });

TEST_F(HttpDoorTest, SendsEveryReceiverOfAMonitoringScriptsQuery) {
  start();
  const httplib::Result result = client_->Get(
      "/cgi-bin/sendsms?username=nagios&password=s3cret&to=%2B4915112345671+%2B4915112345672"
      "&text=PROBLEM%3A+disk+%C3%BCber+90%25");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 202);
  EXPECT_EQ(result->body, "0: Accepted for delivery\n");
  ASSERT_TRUE(eventually([&] { return rig_.count(StoreKind::Sent) == 2; }));
  for (const DatabaseRecord& record : rig_.records(StoreKind::Sent)) {
    EXPECT_EQ(rig_.field(record, StoreKind::Sent, u"content"), u"PROBLEM: disk über 90%");
  }
  EXPECT_FALSE(rig_.log.contains("s3cret"));
}

TEST_F(HttpDoorTest, IgnoredFieldsAreLoggedOnceNotWithEveryRequest) {
  start(false);
  for (int i = 0; i < 3; ++i) {
    const httplib::Result result = client_->Get(
        "/cgi-bin/sendsms?user=nagios&pass=s3cret&to=%2B4915112345671&text=check&from=Nagios"
        "&smsc=main");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 202);
  }
  const auto times = [&](const std::string& note) {
    const std::string text = rig_.log.text();
    std::size_t count = 0;
    for (std::size_t at = text.find(note); at != std::string::npos; at = text.find(note, at + 1)) {
      ++count;
    }
    return count;
  };
  EXPECT_EQ(times("sendsms: from is not supported yet, ignored"), 1u) << rig_.log.text();
  EXPECT_EQ(times("sendsms: smsc is not supported yet, ignored"), 1u) << rig_.log.text();
  EXPECT_EQ(rig_.count(StoreKind::Outbox), 3u);
}

TEST_F(HttpDoorTest, QueuesForLaterWhileTheModemIsNotConnected) {
  start(false);
  const httplib::Result result = client_->Post(
      "/cgi-bin/sendsms",
      "user=nagios&pass=s3cret&to=%2B4915112345671&text=caf%E9&charset=ISO-8859-1&mclass=0"
      "&validity=60&dlr-mask=31",
      "application/x-www-form-urlencoded");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 202);
  EXPECT_EQ(result->body, "3: Queued for later delivery\n");
  const std::vector<DatabaseRecord> queued = rig_.records(StoreKind::Outbox);
  ASSERT_EQ(queued.size(), 1u);
  EXPECT_EQ(rig_.field(queued[0], StoreKind::Outbox, u"content"), u"café");
  // A dlr-mask without a dlr-url asks for no report.
  EXPECT_EQ(rig_.field(queued[0], StoreKind::Outbox, u"flags"), u"1");
}

TEST_F(HttpDoorTest, AnswersUnavailableWhileTheOutboxCantBeSavedAndKeepsNoneOfThoseMessages) {
  start(false);
  // A folder where the outbox file was: no save can succeed, for root neither.
  const std::string outbox = rig_.dir.file("outbox.txt");
  ASSERT_EQ(::unlink(outbox.c_str()) == 0 || errno == ENOENT, true);
  ASSERT_EQ(::mkdir(outbox.c_str(), 0700), 0);
  const httplib::Result refused =
      client_->Get("/cgi-bin/sendsms?user=nagios&pass=s3cret&to=%2B4915112345671&text=lost+one");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 503);
  EXPECT_EQ(refused->body, "Outbox can't be saved\n");
  const httplib::Result refusedJson =
      client_->Post("/api/v1/messages", {{"Authorization", "Bearer t0ken"}},
                    R"({"to": ["+4915112345671"], "text": "lost two"})", "application/json");
  ASSERT_TRUE(refusedJson);
  EXPECT_EQ(refusedJson->status, 503);
  EXPECT_EQ(rig_.count(StoreKind::Outbox), 0u);

  ASSERT_EQ(::rmdir(outbox.c_str()), 0);
  const httplib::Result taken =
      client_->Get("/cgi-bin/sendsms?user=nagios&pass=s3cret&to=%2B4915112345671&text=kept");
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken->status, 202);
  // What was refused must not reach the file with the next save and be sent after all.
  const std::string onDisk = rig_.file(StoreKind::Outbox);
  EXPECT_NE(onDisk.find("kept"), std::string::npos);
  EXPECT_EQ(onDisk.find("lost"), std::string::npos) << onDisk;
}

TEST_F(HttpDoorTest, RefusesABodyOverOneMegabyte) {
  start(false);
  const std::string body =
      "user=nagios&pass=s3cret&to=%2B4915112345671&text=" + std::string(1024 * 1024, 'a');
  const httplib::Result result =
      client_->Post("/cgi-bin/sendsms", body, "application/x-www-form-urlencoded");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 413);
  EXPECT_EQ(rig_.count(StoreKind::Outbox), 0u);
}

TEST_F(HttpDoorTest, RefusesAClientForAMinuteAfterTenFailedLogins) {
  start(false);
  const std::string wrong = "/cgi-bin/sendsms?user=nagios&pass=guess&to=%2B4915112345671&text=a";
  for (int i = 0; i < 10; ++i) ASSERT_EQ(client_->Get(wrong)->status, 403) << i;
  EXPECT_EQ(
      client_->Get("/cgi-bin/sendsms?user=nagios&pass=s3cret&to=%2B4915112345671&text=a")->status,
      429);
  EXPECT_EQ(client_->Get("/api/v1/status", {{"Authorization", "Bearer t0ken"}})->status, 429);
  clock_.advance(60'000);
  EXPECT_EQ(
      client_->Get("/cgi-bin/sendsms?user=nagios&pass=s3cret&to=%2B4915112345671&text=a")->status,
      202);
}

TEST_F(HttpDoorTest, JsonApiWantsTheBearerToken) {
  start(false);
  EXPECT_EQ(client_->Get("/api/v1/status")->status, 401);
  EXPECT_EQ(client_->Get("/api/v1/status", {{"Authorization", "Bearer t0kem"}})->status, 401);
  EXPECT_EQ(getJson("/api/v1/status")->status, 200);
}

TEST_F(HttpDoorTest, JsonSendGivesIdsWhoseStateEndsInSent) {
  start();
  const httplib::Result sent = client_->Post(
      "/api/v1/messages", {{"Authorization", "Bearer t0ken"}},
      R"({"to": ["+4915112345671", "+4915112345672"], "text": "backup done", "report": true})",
      "application/json");
  ASSERT_TRUE(sent);
  ASSERT_EQ(sent->status, 202) << sent->body;
  const nlohmann::json ids = nlohmann::json::parse(sent->body)["ids"];
  ASSERT_EQ(ids.size(), 2u);
  for (const nlohmann::json& id : ids) {
    nlohmann::json state;
    ASSERT_TRUE(eventually([&] {
      state = nlohmann::json::parse(getJson("/api/v1/messages/" + id.get<std::string>())->body);
      return state["state"] == "sent";
    })) << state.dump();
    EXPECT_EQ(state["folder"], "sent");
    EXPECT_FALSE(state["reference"].get<std::string>().empty());
  }
  const nlohmann::json status = nlohmann::json::parse(getJson("/api/v1/status")->body);
  EXPECT_EQ(status["connection"], "connected");
  EXPECT_EQ(status["folders"]["sent"], 2);
  EXPECT_EQ(getJson("/api/v1/messages/nosuchid")->status, 404);
}

// The manual clock stands at 2023-11-14T22:13:20Z.
TEST_F(HttpDoorTest, JsonSendAfterIsScheduledUntilItsTime) {
  start();
  const httplib::Result sent = client_->Post(
      "/api/v1/messages", {{"Authorization", "Bearer t0ken"}},
      R"({"to": "+4915112345671", "text": "later", "sendAfter": "2023-11-15T00:00:00+01:00"})",
      "application/json");
  ASSERT_TRUE(sent);
  ASSERT_EQ(sent->status, 202) << sent->body;
  const std::string path =
      "/api/v1/messages/" + nlohmann::json::parse(sent->body)["ids"][0].get<std::string>();
  nlohmann::json state = nlohmann::json::parse(getJson(path)->body);
  EXPECT_EQ(state["state"], "scheduled");
  EXPECT_EQ(state["folder"], "outbox");
  EXPECT_EQ(state["sendAfter"], "2023-11-14T23:00:00Z");

  clock_.advance(2800 * 1000);
  rig_.scheduler.runDue();
  ASSERT_TRUE(eventually([&] {
    state = nlohmann::json::parse(getJson(path)->body);
    return state["state"] == "sent";
  })) << state.dump();
  EXPECT_FALSE(state.contains("sendAfter"));
}

struct JsonRefusal {
  std::string name;
  std::string body;
  std::string error;
};

void PrintTo(const JsonRefusal& c, std::ostream* os) { *os << c.name; }

class JsonSendRefusal : public HttpDoorTest, public testing::WithParamInterface<JsonRefusal> {};

TEST_P(JsonSendRefusal, QueuesNothingAndNamesTheFault) {
  start(false);
  const httplib::Result result = client_->Post(
      "/api/v1/messages", {{"Authorization", "Bearer t0ken"}}, GetParam().body, "application/json");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 400);
  EXPECT_EQ(nlohmann::json::parse(result->body)["error"], GetParam().error);
  EXPECT_EQ(rig_.count(StoreKind::Outbox), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JsonSendRefusal,
    testing::Values(JsonRefusal{"UnknownField",
                                R"({"to": ["+4915112345671"], "text": "a", "prio": 1})",
                                "unknown field: prio"},
                    JsonRefusal{"NoJson", "to=+4915112345671", "the body is no JSON object"},
                    JsonRefusal{"InvalidUtf8", "{\"to\": [\"+4915112345671\"], \"text\": \"\xff\"}",
                                "the body is no JSON object"},
                    JsonRefusal{"NoReceiver", R"({"text": "a"})", "missing receiver number"},
                    JsonRefusal{"BadNumber", R"({"to": ["+4915112345671", "x"], "text": "a"})",
                                "\"x\" is not a phone number"},
                    JsonRefusal{"SendAfterNoTime",
                                R"({"to": "+4915112345671", "text": "a", "sendAfter": "soon"})",
                                "sendAfter: seconds from now or a date and time such as "
                                "2026-12-24T18:00 expected"},
                    JsonRefusal{"SendAfterNotAString",
                                R"({"to": "+4915112345671", "text": "a", "sendAfter": 5})",
                                "sendAfter: an ISO 8601 time expected"},
                    JsonRefusal{"ExpiresPast",
                                R"({"to": "+4915112345671", "text": "a",
                                    "expires": "2020-01-01T00:00Z"})",
                                "expires: 2020-01-01T00:00Z is past already"},
                    JsonRefusal{"ExpiresBeforeSendAfter",
                                R"({"to": "+4915112345671", "text": "a",
                                    "sendAfter": "2030-01-02T00:00Z",
                                    "expires": "2030-01-01T00:00Z"})",
                                "it expires before it may be sent"},
                    JsonRefusal{"FlashNotBool",
                                R"({"to": "+4915112345671", "text": "a", "flash": 1})",
                                "flash: true or false expected"}),
    [](const testing::TestParamInfo<JsonRefusal>& info) { return info.param.name; });

// A remote address without TLS would send the passwords in the clear.
TEST_F(HttpDoorTest, DoesNotStartOnARemoteAddressWithoutTls) {
  rig_.settings.setString("http.listen", u"0.0.0.0:0");
  rig_.start();
  ASSERT_NE(rig_.gateway().http(), nullptr);
  EXPECT_EQ(rig_.gateway().http()->port(), 0);
  EXPECT_TRUE(rig_.log.contains("not started: 0.0.0.0 is not a loopback address"));
}

TEST_F(HttpDoorTest, SpeaksTlsWithTheCertificateGiven) {
  const std::string cert = rig_.dir.file("cert.pem");
  const std::string key = rig_.dir.file("key.pem");
  // A throwaway certificate for this test only.
  ProcessLaunch openssl;
  openssl.program = "/usr/bin/openssl";
  openssl.arguments = {"req",   "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost",
                       "-days", "1",     "-keyout", key,        "-out",   cert};
  const ProcessResult made = runProcess(openssl);
  ASSERT_EQ(made.code, 0) << made.err;
  rig_.settings.setString("http.tls.cert", fromUtf8(cert));
  rig_.settings.setString("http.tls.key", fromUtf8(key));
  rig_.start();
  ASSERT_GT(rig_.gateway().http()->port(), 0);
  EXPECT_TRUE(rig_.log.contains("with TLS"));
  httplib::SSLClient secure("127.0.0.1", rig_.gateway().http()->port());
  secure.enable_server_certificate_verification(false);
  const httplib::Result result = secure.Get("/api/v1/status", {{"Authorization", "Bearer t0ken"}});
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  httplib::Client plain("127.0.0.1", rig_.gateway().http()->port());
  EXPECT_FALSE(plain.Get("/api/v1/status", {{"Authorization", "Bearer t0ken"}}));
}

TEST_F(HttpDoorTest, FailedStateCarriesTheSendersReason) {
  rig_.settings.setInt("sender.retries", 0);
  start();
  // 256 parts: more than one message can have, so the sender refuses to send it cut short.
  ASSERT_EQ(client_
                ->Post("/cgi-bin/sendsms",
                       "user=nagios&pass=s3cret&to=%2B4915112345671&text=" +
                           std::string(255 * 153 + 1, 'a'),
                       "application/x-www-form-urlencoded")
                ->status,
            202);
  ASSERT_TRUE(eventually([&] { return rig_.count(StoreKind::Failed) == 1; })) << rig_.log.text();
  const std::u16string id =
      rig_.field(rig_.records(StoreKind::Failed)[0], StoreKind::Failed, u"custom");
  const nlohmann::json state =
      nlohmann::json::parse(getJson("/api/v1/messages/" + toUtf8(id))->body);
  EXPECT_EQ(state["state"], "failed");
  EXPECT_EQ(state["reason"],
            "the message needs 256 parts, more than the 255 that one message can have");
  EXPECT_TRUE(state.contains("time")) << state.dump();
}

struct ReportCase {
  std::string name;
  int status;  // TP-ST
  std::string state;
};

void PrintTo(const ReportCase& c, std::ostream* os) { *os << c.name; }

class MessageStateAfterReport : public HttpDoorTest,
                                public testing::WithParamInterface<ReportCase> {};

TEST_P(MessageStateAfterReport, CarriesTheTimeTheCentreNamed) {
  start();
  const httplib::Result sent = client_->Post(
      "/api/v1/messages", {{"Authorization", "Bearer t0ken"}},
      R"({"to": ["+4915112345671"], "text": "report me", "report": true})", "application/json");
  ASSERT_EQ(sent->status, 202) << sent->body;
  const std::string id = nlohmann::json::parse(sent->body)["ids"][0];
  nlohmann::json state;
  ASSERT_TRUE(eventually([&] {
    state = nlohmann::json::parse(getJson("/api/v1/messages/" + id)->body);
    return state["state"] == "sent";
  }));
  EXPECT_FALSE(state.contains("time"));
  const int reference = std::stoi(state["reference"].get<std::string>());
  rig_.service->notify(notice::kIncoming, 0,
                       std::make_unique<StatusReport>(u"+4915112345671", u"", reference,
                                                      1'700'000'100, GetParam().status));
  ASSERT_TRUE(eventually([&] {
    state = nlohmann::json::parse(getJson("/api/v1/messages/" + id)->body);
    return state["state"] == GetParam().state && state.contains("time");
  })) << state.dump();
  EXPECT_EQ(state["time"], "2023-11-14T22:15:00Z");
}

INSTANTIATE_TEST_SUITE_P(Cases, MessageStateAfterReport,
                         testing::Values(ReportCase{"Delivered", 0x00, "delivered"},
                                         ReportCase{"NotDelivered", 0x41, "not delivered"}),
                         [](const testing::TestParamInfo<ReportCase>& info) {
                           return info.param.name;
                         });

struct RestartCase {
  std::string name;
  std::optional<int> report;  // TP-ST of the report it gets; none: it fails
  std::string state;
  std::string reason;  // when it failed
  std::string time;    // when a report came
};

void PrintTo(const RestartCase& c, std::ostream* os) { *os << c.name; }

// One gateway after another on the same data folder.
class MessageStateAfterRestart : public testing::TestWithParam<RestartCase> {
 protected:
  void start(bool connect) {
    rig_.emplace(
        ServiceRig::Options{.port = "", .schedulerClock = &clock_, .dataFolder = folder_.path()});
    openDoor(rig_->settings);
    rig_->settings.setInt("sender.retries", 0);
    rig_->start();
    ASSERT_NE(rig_->gateway().http(), nullptr);
    if (connect) {
      ASSERT_TRUE(rig_->connect());
    }
    client_ = std::make_unique<httplib::Client>("127.0.0.1", rig_->gateway().http()->port());
    client_->set_url_encode(false);
  }

  void restart() {
    client_.reset();
    rig_.reset();
    start(false);
  }

  nlohmann::json state(const std::string& id) {
    const httplib::Result result =
        client_->Get("/api/v1/messages/" + id, {{"Authorization", "Bearer t0ken"}});
    if (!result || result->status != 200) return nlohmann::json();
    return nlohmann::json::parse(result->body);
  }

  // Fails: 256 parts are more than one message can have.
  std::string failing() {
    const httplib::Result sent = client_->Post(
        "/cgi-bin/sendsms",
        "user=nagios&pass=s3cret&to=%2B4915112345671&text=" + std::string(255 * 153 + 1, 'a'),
        "application/x-www-form-urlencoded");
    if (!sent || sent->status != 202) return "";
    if (!eventually([&] { return rig_->count(StoreKind::Failed) == 1; })) return "";
    return toUtf8(rig_->field(rig_->records(StoreKind::Failed)[0], StoreKind::Failed, u"custom"));
  }

  // Sent, then reported with `status`.
  std::string reported(int status) {
    const httplib::Result sent = client_->Post(
        "/api/v1/messages", {{"Authorization", "Bearer t0ken"}},
        R"({"to": ["+4915112345671"], "text": "report me", "report": true})", "application/json");
    if (!sent || sent->status != 202) return "";
    const std::string id = nlohmann::json::parse(sent->body)["ids"][0];
    nlohmann::json now;
    if (!eventually([&] { return (now = state(id)).value("state", "") == "sent"; })) return "";
    rig_->service->notify(
        notice::kIncoming, 0,
        std::make_unique<StatusReport>(u"+4915112345671", u"",
                                       std::stoi(now["reference"].get<std::string>()),
                                       1'700'000'100, status));
    return id;
  }

  ManualClock clock_;
  TempDir folder_;
  std::optional<ServiceRig> rig_;
  std::unique_ptr<httplib::Client> client_;
};

TEST_P(MessageStateAfterRestart, KeepsItsReasonAndTime) {
  start(true);
  const std::string id = GetParam().report ? reported(*GetParam().report) : failing();
  ASSERT_FALSE(id.empty()) << rig_->log.text();
  nlohmann::json before;
  ASSERT_TRUE(eventually([&] {
    before = state(id);
    return before.value("state", "") == GetParam().state && before.contains("time");
  })) << before.dump();
  restart();
  const nlohmann::json after = state(id);
  EXPECT_EQ(after, before);
  EXPECT_EQ(after.value("reason", ""), GetParam().reason);
  if (!GetParam().time.empty()) {
    EXPECT_EQ(after.value("time", ""), GetParam().time);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MessageStateAfterRestart,
    testing::Values(
        RestartCase{"Failed", std::nullopt, "failed",
                    "the message needs 256 parts, more than the 255 that one message can have", ""},
        RestartCase{"Delivered", 0x00, "delivered", "", "2023-11-14T22:15:00Z"},
        RestartCase{"NotDelivered", 0x41, "not delivered", "", "2023-11-14T22:15:00Z"}),
    [](const testing::TestParamInfo<RestartCase>& info) { return info.param.name; });

TEST_F(HttpDoorTest, InboxPagesSeeEachMessageOnceWhateverComesMeanwhile) {
  start(false);
  FileDatabase& inbox = rig_.stores->inbox();
  const auto receive = [&](const std::u16string& text) {
    SMSMessage message(u"+4915112345679", u"", text);
    inbox.put(incomingRecord(message, false, inbox.newIdText()));
    ASSERT_EQ(inbox.save(), 0);
  };
  for (const char16_t* text : {u"one", u"two", u"three\r\nlines"}) receive(text);

  std::vector<std::string> seen;
  std::string since;
  nlohmann::json page;
  const auto nextPage = [&] {
    const httplib::Result result = getJson("/api/v1/inbox?limit=2&since=" + since);
    ASSERT_TRUE(result);
    ASSERT_EQ(result->status, 200) << result->body;
    page = nlohmann::json::parse(result->body);
    for (const nlohmann::json& message : page["messages"]) seen.push_back(message["text"]);
    since = page["next"];
  };
  nextPage();
  EXPECT_EQ(seen, (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(page["more"], true);
  EXPECT_EQ(page["messages"][0]["from"], "+4915112345679");
  // The first is removed and a fourth arrives between the calls: nothing is skipped or repeated.
  inbox.remove(rig_.records(StoreKind::Inbox).front()[0]);
  receive(u"four");
  nextPage();
  EXPECT_EQ(page["more"], false);
  nextPage();
  EXPECT_TRUE(page["messages"].empty());
  EXPECT_EQ(seen, (std::vector<std::string>{"one", "two", "three\r\nlines", "four"}));
  EXPECT_EQ(getJson("/api/v1/inbox?limit=501")->status, 400);
}

TEST_F(HttpDoorTest, UssdGivesTheNetworksReplyWhenItComesSoon) {
  start();
  const httplib::Result result = client_->Post("/api/v1/ussd", {{"Authorization", "Bearer t0ken"}},
                                               R"({"code": "*100#"})", "application/json");
  ASSERT_TRUE(result);
  ASSERT_EQ(result->status, 200) << result->body;
  const nlohmann::json answer = nlohmann::json::parse(result->body);
  EXPECT_EQ(answer["state"], "replied");
  EXPECT_EQ(answer["reply"], "Your current balance is $ 22.10");
  const nlohmann::json later =
      nlohmann::json::parse(getJson("/api/v1/ussd/" + answer["id"].get<std::string>())->body);
  EXPECT_EQ(later, answer);
}

TEST_F(HttpDoorTest, UssdWaitingForTheModemAnswersWithItsId) {
  start(false);
  const httplib::Result result = client_->Post("/api/v1/ussd", {{"Authorization", "Bearer t0ken"}},
                                               R"({"code": "*100#"})", "application/json");
  ASSERT_TRUE(result);
  ASSERT_EQ(result->status, 202) << result->body;
  const nlohmann::json answer = nlohmann::json::parse(result->body);
  EXPECT_EQ(answer["state"], "queued");
  const std::string where = "/api/v1/ussd/" + answer["id"].get<std::string>();
  EXPECT_EQ(result->get_header_value("Location"), where);
  EXPECT_EQ(rig_.count(StoreKind::Outbox), 1u);
  ASSERT_TRUE(rig_.connect());
  nlohmann::json later;
  ASSERT_TRUE(eventually([&] {
    later = nlohmann::json::parse(getJson(where)->body);
    return later["state"] == "replied";
  })) << later.dump();
  EXPECT_EQ(later["reply"], "Your current balance is $ 22.10");
  EXPECT_EQ(getJson("/api/v1/ussd/nosuchid")->status, 404);
}

class UssdRefusal : public HttpDoorTest, public testing::WithParamInterface<JsonRefusal> {};

TEST_P(UssdRefusal, QueuesNothingAndNamesTheFault) {
  start(false);
  const httplib::Result result = client_->Post("/api/v1/ussd", {{"Authorization", "Bearer t0ken"}},
                                               GetParam().body, "application/json");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 400);
  EXPECT_EQ(nlohmann::json::parse(result->body)["error"], GetParam().error);
  EXPECT_EQ(rig_.count(StoreKind::Outbox), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UssdRefusal,
    testing::Values(JsonRefusal{"UnknownField", R"({"code": "*100#", "wait": 3})",
                                "unknown field: wait"},
                    JsonRefusal{"NoCode", R"({})", "code: a USSD code expected"},
                    JsonRefusal{"CodeNotAString", R"({"code": 100})", "code: a USSD code expected"},
                    JsonRefusal{"CommandInCode", R"({"code": "*100#\"\r\nAT+CMGD=1,4"})",
                                "code: digits, *, # and + only, at most 160"},
                    JsonRefusal{"NoJson", "code=*100#", "the body is no JSON object"}),
    [](const testing::TestParamInfo<JsonRefusal>& info) { return info.param.name; });

TEST_F(HttpDoorTest, MetricsCountWhatWasSentAndTimeIt) {
  start();
  ASSERT_EQ(client_
                ->Get("/cgi-bin/sendsms?user=nagios&pass=s3cret&to=%2B4915112345671+"
                      "%2B4915112345672&text=disk+full")
                ->status,
            202);
  // A record leaves the outbox just after "sent" holds it.
  ASSERT_TRUE(eventually(
      [&] { return rig_.count(StoreKind::Sent) == 2 && rig_.count(StoreKind::Outbox) == 0; }));
  const httplib::Result result = getJson("/api/v1/metrics");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_TRUE(result->get_header_value("Content-Type").starts_with("text/plain; version=0.0.4"));
  for (const char* line :
       {"parlane_messages_sent_total 2", "parlane_messages_failed_total 0",
        "parlane_send_latency_seconds_count 2",
        "parlane_send_latency_seconds_bucket{le=\"+Inf\"} 2",
        "parlane_connection_state{state=\"connected\"} 1", "parlane_outbox_messages 0"}) {
    EXPECT_NE(result->body.find(std::string("\n") + line + "\n"), std::string::npos)
        << line << "\n"
        << result->body;
  }
  EXPECT_EQ(client_->Get("/api/v1/metrics")->status, 401);
}

// "GET /api/v1/messages/{}": a path's parameters, whatever their names, as "{}".
std::set<std::string> documentedRoutes(const std::string& document) {
  static const std::regex path(R"(^  (/\S+):\s*$)");
  static const std::regex method(R"(^    (get|post):\s*$)");
  static const std::regex parameter(R"(\{[^}]*\})");
  std::set<std::string> routes;
  std::istringstream lines(document);
  std::string line;
  std::string current;
  bool inPaths = false;
  while (std::getline(lines, line)) {
    if (!line.empty() && line[0] != ' ') inPaths = line.starts_with("paths:");
    std::smatch match;
    if (!inPaths) continue;
    if (std::regex_match(line, match, path)) {
      current = std::regex_replace(match[1].str(), parameter, "{}");
    } else if (std::regex_match(line, match, method) && !current.empty()) {
      std::string name = match[1].str();
      std::transform(name.begin(), name.end(), name.begin(), ::toupper);
      routes.insert(name + " " + current);
    }
  }
  return routes;
}

TEST_F(HttpDoorTest, ServesItsDocumentWhichNamesEveryRouteItServes) {
  start(false);
  const httplib::Result result = getJson("/api/v1/openapi.yaml");
  ASSERT_TRUE(result);
  ASSERT_EQ(result->status, 200);
  EXPECT_TRUE(result->body.starts_with("openapi: 3."));
  static const std::regex group(R"(\([^)]*\))");
  std::set<std::string> served;
  for (const HttpDoor::Route& route : rig_.gateway().http()->served()) {
    served.insert(route.method + " " + std::regex_replace(route.pattern, group, "{}"));
  }
  EXPECT_FALSE(served.empty());
  EXPECT_EQ(documentedRoutes(result->body), served);
}

// A plain TCP connection to the door that sends only what it is told to.
class RawConnection {
 public:
  explicit RawConnection(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    // Nothing here waits longer, whatever the door does.
    timeval limit{4, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  }
  ~RawConnection() { ::close(fd_); }
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  bool connected() const { return connected_; }
  bool send(const std::string& bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
  }
  // What comes until the door closes the connection; nothing when it does not within the limit.
  std::optional<std::string> readToClose() {
    std::string all;
    char buffer[4096];
    for (;;) {
      const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
      if (got == 0) return all;
      if (got < 0) return std::nullopt;
      all.append(buffer, static_cast<std::size_t>(got));
    }
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
};

TEST_F(HttpDoorTest, AnswersBusyWhenEveryWorkerAndTheQueueAreTaken) {
  start(false);
  // Connections that send nothing hold every worker and every place in the queue.
  std::vector<std::unique_ptr<RawConnection>> held;
  for (std::size_t i = 0; i < HttpDoor::kWorkers + HttpDoor::kQueued; ++i) {
    held.push_back(std::make_unique<RawConnection>(rig_.gateway().http()->port()));
    ASSERT_TRUE(held.back()->connected());
  }
  const httplib::Result busy = getJson("/api/v1/status");
  ASSERT_TRUE(busy);
  EXPECT_EQ(busy->status, 503);
  EXPECT_EQ(busy->get_header_value("Retry-After"), "1");
  EXPECT_EQ(nlohmann::json::parse(busy->body)["error"],
            "too many requests at once, try again later");
  const httplib::Result sendSms =
      client_->Get("/cgi-bin/sendsms?user=nagios&pass=s3cret&to=%2B4915112345671&text=a");
  ASSERT_TRUE(sendSms);
  EXPECT_EQ(sendSms->status, 503);
  EXPECT_EQ(rig_.count(StoreKind::Outbox), 0u);
  held.clear();
  EXPECT_TRUE(eventually([&] {
    const httplib::Result result = getJson("/api/v1/status");
    return result && result->status == 200;
  }));
}

TEST_F(HttpDoorTest, ClosesOnAClientThatSendsHalfARequest) {
  rig_.settings.setInt("http.client_timeout", 1);
  start(false);
  RawConnection slow(rig_.gateway().http()->port());
  ASSERT_TRUE(slow.connected());
  ASSERT_TRUE(slow.send("GET /api/v1/status HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthoriz"));
  const auto start = std::chrono::steady_clock::now();
  const std::optional<std::string> answer = slow.readToClose();
  EXPECT_TRUE(answer.has_value()) << "the connection was still open after 4 s";
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(getJson("/api/v1/status")->status, 200);
}

struct Utf8Case {
  std::string name;
  std::string method;
  std::string target;
  std::string body;
  std::string answer;
};

void PrintTo(const Utf8Case& c, std::ostream* os) { *os << c.name; }

class InvalidUtf8 : public HttpDoorTest, public testing::WithParamInterface<Utf8Case> {};

TEST_P(InvalidUtf8, IsRefusedBeforeAnythingIsQueued) {
  start(false);
  RawConnection connection(rig_.gateway().http()->port());
  std::string request = GetParam().method + " " + GetParam().target +
                        " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer t0ken\r\n"
                        "Connection: close\r\n";
  if (GetParam().method == "POST") {
    request += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
               std::to_string(GetParam().body.size()) + "\r\n";
  }
  ASSERT_TRUE(connection.send(request + "\r\n" + GetParam().body));
  const std::optional<std::string> answer = connection.readToClose();
  ASSERT_TRUE(answer.has_value());
  EXPECT_TRUE(answer->starts_with("HTTP/1.1 400")) << *answer;
  EXPECT_NE(answer->find(GetParam().answer), std::string::npos) << *answer;
  EXPECT_EQ(rig_.count(StoreKind::Outbox), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InvalidUtf8,
    testing::Values(
        Utf8Case{"ApiQuery", "GET", "/api/v1/inbox?since=%FF", "",
                 "the request is not valid UTF-8"},
        Utf8Case{"SendSmsRawByteInQuery", "GET",
                 "/cgi-bin/sendsms?user=nagios&pass=s3cret&to=%2B4915112345671&text=\xff", "",
                 "Request is not valid UTF-8"},
        Utf8Case{"SendSmsRawByteInForm", "POST", "/cgi-bin/sendsms",
                 "user=nagios&pass=s3cret&to=%2B4915112345671&text=\xc3",
                 "Request is not valid UTF-8"},
        Utf8Case{
            "SendSmsEscapedLatin1IsNoFault", "GET",
            "/cgi-bin/sendsms?user=nagios&pass=s3cret&to=%2B4915112345671&text=%E9&charset=UTF-8",
            "", "Text is not valid UTF-8"}),
    [](const testing::TestParamInfo<Utf8Case>& info) { return info.param.name; });

TEST_F(HttpDoorTest, RefusesAJsonBodyOverOneMegabyte) {
  start(false);
  const std::string body =
      R"({"to": ["+4915112345671"], "text": ")" + std::string(1024 * 1024, 'a') + R"("})";
  const httplib::Result result = client_->Post(
      "/api/v1/messages", {{"Authorization", "Bearer t0ken"}}, body, "application/json");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 413);
  EXPECT_EQ(rig_.count(StoreKind::Outbox), 0u);
}

}  // namespace
}  // namespace parlane::test
