// The event commands: the program gets the event in its environment, runs off the caller's
// thread, at most a few at once, and is ended after "event.timeout" (on a manual clock).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/settings/SettingsStore.h"
#include "core/util/Clock.h"
#include "engine/ReceiverTestSupport.h"
#include "message/SMSMessage.h"
#include "service/EventQueueFile.h"
#include "service/EventRunner.h"
#include "service/ServiceRig.h"
#include "support/TempDir.h"

namespace parlane {
namespace {

using test::eventually;

class EventCommands : public ::testing::Test {
 protected:
  EventCommands() {
    clock.setOnAdvance([this] { runner.wake(); });
  }
  ~EventCommands() override { clock.setOnAdvance({}); }

  void script(const std::string& body) {
    const std::string path = dir.file("event.sh");
    std::ofstream(path) << "#!/bin/sh\n" << body;
    ::chmod(path.c_str(), 0755);
    settings.setString("event.run", fromUtf8(path));
  }
  MessageEvent sentEvent() {
    SMSMessage message(u"", u"+4917012345", u"hello \"there\"\nsecond line", 77);
    message.timestamp = 1'704'110'400;
    message.refid = 5;
    return MessageEvent::of(MessageEvent::Kind::Sent, message);
  }

  test::LogCapture log;
  test::TempDir dir;
  SettingsStore settings;
  ManualClock clock;
  EventRunner runner{settings, 3, clock};
};

TEST_F(EventCommands, TheProgramGetsTheEventInItsEnvironment) {
  ::setenv("PARLANE_TEXT", "left over from the caller", 1);
  script("env > " + dir.file("env.txt") + "\n");
  runner.start();
  runner.post(sentEvent());
  ASSERT_TRUE(eventually([&] { return runner.finished() == 1; }));
  ::unsetenv("PARLANE_TEXT");
  const std::string env = dir.read("env.txt");
  for (const char* line :
       {"PARLANE_EVENT=sent\n", "PARLANE_ID=77\n", "PARLANE_NUMBER=+4917012345\n",
        "PARLANE_TEXT=hello \"there\"\nsecond line\n", "PARLANE_TIME=2024-01-01T12:00:00Z\n",
        "PARLANE_TYPE=sms\n", "PARLANE_URL=\n", "PARLANE_REFERENCE=5\n", "PARLANE_INSTANCE=3\n"}) {
    EXPECT_NE(env.find(line), std::string::npos) << line << "\n" << env;
  }
  EXPECT_EQ(env.find("left over"), std::string::npos) << env;
  EXPECT_TRUE(log.contains("ended with exit code 0")) << log.text();
}

TEST_F(EventCommands, TheProgramGetsNoneOfTheGatewaysFiles) {
  // Opened as the port and the locks are: without close-on-exec.
  const std::string held = dir.file("held-by-the-gateway");
  const int fd = ::open(held.c_str(), O_CREAT | O_RDWR, 0600);
  ASSERT_GE(fd, 0);
  script("ls -l /proc/$$/fd/ > " + dir.file("fds.txt") + "\n");
  runner.start();
  runner.post(sentEvent());
  ASSERT_TRUE(eventually([&] { return runner.finished() == 1; }));
  ::close(fd);
  const std::string fds = dir.read("fds.txt");
  EXPECT_FALSE(fds.empty());
  EXPECT_EQ(fds.find(held), std::string::npos) << fds;
}

TEST_F(EventCommands, NothingRunsWithoutAProgram) {
  runner.start();
  runner.post(sentEvent());
  runner.stop();
  runner.join();
  EXPECT_EQ(runner.finished(), 0u);
}

TEST_F(EventCommands, ExitCodeErrorOutputAndAMissingProgramAreLogged) {
  script("echo first problem >&2\necho second problem >&2\nexit 3\n");
  runner.start();
  runner.post(sentEvent());
  ASSERT_TRUE(eventually([&] { return runner.finished() == 1; }));
  EXPECT_TRUE(log.contains("(sent 77) ended with exit code 3")) << log.text();
  EXPECT_TRUE(log.contains("Event command error output: first problem")) << log.text();
  EXPECT_TRUE(log.contains("Event command error output: second problem")) << log.text();

  settings.setString("event.run", fromUtf8(dir.file("no-such-program")));
  runner.post(sentEvent());
  ASSERT_TRUE(eventually([&] { return runner.finished() == 2; }));
  EXPECT_TRUE(log.contains("can't be started")) << log.text();
}

struct LoggedEventCase {
  const char* name;
  MessageEvent::Kind kind;
  const char* id;
  const char* logged;
};

class LoggedEvents : public EventCommands, public ::testing::WithParamInterface<LoggedEventCase> {};

TEST_P(LoggedEvents, NameTheirKindAndTheirMessage) {
  script("exit 0\n");
  runner.start();
  MessageEvent event;
  event.kind = GetParam().kind;
  event.id = GetParam().id;
  event.number = "+4917012345";
  runner.post(event);
  ASSERT_TRUE(eventually([&] { return runner.finished() == 1; }));
  EXPECT_TRUE(log.contains(std::string(GetParam().logged) + " ended with exit code 0"))
      << log.text();
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, LoggedEvents,
    ::testing::Values(LoggedEventCase{"Sent", MessageEvent::Kind::Sent, "77", "(sent 77)"},
                      // A call has no message: nothing after its kind.
                      LoggedEventCase{"Call", MessageEvent::Kind::Call, "", "(call)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EventCommands, AtMostThreeRunAndEachIsEndedAfterItsTimeOut) {
  settings.setInt("event.timeout", 60);
  // Each program says it has written its error output before it hangs, so that the kill can't
  // come before the line it is checked for.
  const std::string started = dir.file("started.txt");
  script("echo stuck >&2\necho x >> " + started + "\nsleep 1000\n");
  runner.start();
  for (int i = 0; i < 5; ++i) runner.post(sentEvent());
  ASSERT_TRUE(eventually([&] {
    return runner.running() == EventRunner::kMaxRunning && dir.read("started.txt") == "x\nx\nx\n";
  }));
  clock.advance(59'000);
  EXPECT_EQ(runner.finished(), 0u);
  clock.advance(1'000);
  // The first three are ended; the two that waited start with their own time-out.
  ASSERT_TRUE(eventually([&] { return runner.finished() == 3 && runner.running() == 2; }))
      << log.text();
  EXPECT_TRUE(log.contains("still ran after its time-out and was ended")) << log.text();
  EXPECT_TRUE(log.contains("Event command error output: stuck")) << log.text();
  clock.advance(60'000);
  ASSERT_TRUE(eventually([&] { return runner.finished() == 5; })) << log.text();
}

TEST_F(EventCommands, ShutDownEndsWhatStillRuns) {
  script("sleep 1000\n");
  runner.start();
  runner.post(sentEvent());
  ASSERT_TRUE(eventually([&] { return runner.running() == 1; }));
  runner.stop();
  runner.join();
  EXPECT_EQ(runner.running(), 0u);
  EXPECT_TRUE(log.contains("ended at shut-down")) << log.text();
}

TEST_F(EventCommands, EventsWaitingOrRunningAtAStopRunAfterTheNextStart) {
  const std::string queueFile = dir.file("events");
  script("sleep 1000\n");
  runner.setQueueFile(queueFile);
  runner.start();
  for (int i = 0; i < 5; ++i) {
    MessageEvent event = sentEvent();
    event.id = std::to_string(100 + i);
    runner.post(event);
  }
  ASSERT_TRUE(eventually([&] { return runner.running() == EventRunner::kMaxRunning; }));
  runner.stop();
  runner.join();

  // The next start: every event runs, the three cut short as well as the two that waited.
  script("echo \"$PARLANE_ID $PARLANE_TEXT\" >> " + dir.file("ran.txt") + "\n");
  EventRunner next(settings, 3, clock);
  next.setQueueFile(queueFile);
  next.start();
  ASSERT_TRUE(eventually([&] { return next.finished() == 5; })) << log.text();
  next.stop();
  next.join();
  std::vector<std::string> ran;
  std::istringstream in(dir.read("ran.txt"));
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("1")) ran.push_back(line.substr(0, 3));
  }
  std::sort(ran.begin(), ran.end());
  EXPECT_EQ(ran, (std::vector<std::string>{"100", "101", "102", "103", "104"}));
  EXPECT_NE(dir.read("ran.txt").find("hello \"there\"\nsecond line"), std::string::npos);
  // Nothing is kept twice.
  struct stat st {};
  EXPECT_NE(::stat(queueFile.c_str(), &st), 0);
}

struct QueueLineCase {
  const char* name;
  std::string text;
  std::size_t events;
  std::size_t skipped;
};

void PrintTo(const QueueLineCase& c, std::ostream* os) { *os << c.name; }

class EventQueueLines : public testing::TestWithParam<QueueLineCase> {};

TEST_P(EventQueueLines, AreReadOrSkipped) {
  std::size_t skipped = 0;
  EXPECT_EQ(parseEventQueue(GetParam().text, skipped).size(), GetParam().events);
  EXPECT_EQ(skipped, GetParam().skipped);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EventQueueLines,
    testing::Values(
        QueueLineCase{"Empty", "", 0, 0}, QueueLineCase{"HeaderOnly", "parlane events 1\n", 0, 0},
        QueueLineCase{"OneEvent", "parlane events 1\nsent\t1\t+49\ttext\t\tsms\t\t5\t\t\n", 1, 0},
        QueueLineCase{"UnknownKind", "parlane events 1\nlost\t1\t+49\ttext\t\tsms\t\t5\t\t\n", 0,
                      1},
        QueueLineCase{"TooFewFields", "parlane events 1\nsent\t1\n", 0, 1},
        QueueLineCase{"BadEscape", "parlane events 1\nsent\t1\t+49\tte\\xt\t\tsms\t\t5\t\t\n", 0,
                      1}),
    [](const testing::TestParamInfo<QueueLineCase>& info) { return info.param.name; });

TEST(EventQueue, EveryFieldComesBackAsItWas) {
  MessageEvent event;
  event.kind = MessageEvent::Kind::Report;
  event.id = "9";
  event.number = "+49\t1";
  event.text = "line\none\r\ttab \\ back\\slash\\";
  event.time = "2026-12-10T16:40:00Z";
  event.type = "sr";
  event.url = "http://x/\\n";
  event.reference = "42";
  event.custom = "file.sms";
  event.status = "delivered";
  std::size_t skipped = 0;
  const auto back = parseEventQueue(formatEventQueue({event, event}), skipped);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(skipped, 0u);
  EXPECT_EQ(back[1].kind, event.kind);
  EXPECT_EQ(back[1].environment(0), event.environment(0));
}

class EventQueueKinds : public testing::TestWithParam<MessageEvent::Kind> {};

// An event of each kind a stop leaves behind runs after the next start as that kind.
TEST_P(EventQueueKinds, SurviveTheQueueFile) {
  MessageEvent event;
  event.kind = GetParam();
  event.number = "+4917012345";
  std::size_t skipped = 0;
  const auto back = parseEventQueue(formatEventQueue({event}), skipped);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(skipped, 0u);
  EXPECT_EQ(back[0].kind, GetParam());
}

INSTANTIATE_TEST_SUITE_P(EventQueue, EventQueueKinds,
                         testing::Values(MessageEvent::Kind::Received, MessageEvent::Kind::Sent,
                                         MessageEvent::Kind::Failed, MessageEvent::Kind::Report,
                                         MessageEvent::Kind::Call),
                         [](const auto& info) {
                           return std::string(MessageEvent::kindName(info.param));
                         });

struct VariableCase {
  const char* name;
  std::string text;
  std::size_t textBytes;  // of PARLANE_TEXT's value
  bool marked;
};

void PrintTo(const VariableCase& c, std::ostream* os) { *os << c.name; }

class EventVariables : public testing::TestWithParam<VariableCase> {};

TEST_P(EventVariables, AreCutAt64KilobytesWithAMarker) {
  MessageEvent event;
  event.text = GetParam().text;
  const std::vector<std::string> environment = event.environment(0);
  std::size_t textBytes = 0;
  bool marked = false;
  for (const std::string& entry : environment) {
    if (entry.starts_with("PARLANE_TEXT=")) textBytes = entry.size() - 13;
    if (entry == "PARLANE_TRUNCATED=1") marked = true;
  }
  EXPECT_EQ(textBytes, GetParam().textBytes);
  EXPECT_EQ(marked, GetParam().marked);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EventVariables,
    testing::Values(
        VariableCase{"Short", "hello", 5, false},
        VariableCase{"Exactly64K", std::string(65536, 'x'), 65536, false},
        VariableCase{"TenThousandCharactersAreKept", std::string(10000, 'y'), 10000, false},
        VariableCase{"Huge", std::string(200000, 'z'), 65536, true},
        // A two-byte character across the limit goes whole.
        VariableCase{"CutBeforeACharacter",
                     std::string(65535, 'a') + "\xC3\xA4" + std::string(10, 'b'), 65535, true}),
    [](const testing::TestParamInfo<VariableCase>& info) { return info.param.name; });

}  // namespace
// PARLANE_STATUS of each kind of event: a report's outcome, a failure's reason.
struct StatusCase {
  const char* name;
  MessageEvent::Kind kind;
  const char16_t* failureReason;
  const char* status;
};

void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }

class EventStatus : public testing::TestWithParam<StatusCase> {};

TEST_P(EventStatus, SaysWhatBecameOfTheMessage) {
  SMSMessage message(u"", u"+4917012345", u"hello", 77);
  message.failureReason = GetParam().failureReason;
  EXPECT_EQ(MessageEvent::of(GetParam().kind, message).status, GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EventStatus,
    testing::Values(StatusCase{"FailedExpired", MessageEvent::Kind::Failed, u"expired", "expired"},
                    StatusCase{"FailedByTheModem", MessageEvent::Kind::Failed,
                               u"Network out of order", "Network out of order"},
                    StatusCase{"SentHasNone", MessageEvent::Kind::Sent, u"", ""}),
    [](const testing::TestParamInfo<StatusCase>& info) { return info.param.name; });

}  // namespace parlane
