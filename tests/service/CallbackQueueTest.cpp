// The persisted queue of HTTP callbacks, its file, and the webhook signature, against a real
// receiver on loopback; time moves on a manual clock.
#include <gtest/gtest.h>

#include <string>

#include "core/util/Clock.h"
#include "engine/ReceiverTestSupport.h"
#include "service/CallbackQueue.h"
#include "service/KeyedJournal.h"
#include "service/ServiceRig.h"
#include "service/WebhookSignature.h"
#include "support/CallbackReceiver.h"
#include "support/TempDir.h"

namespace parlane::test {
namespace {

struct JournalCase {
  std::string name;
  std::string text;
  std::vector<JournalEntry> entries;
  std::size_t skipped = 0;
};

void PrintTo(const JournalCase& c, std::ostream* os) { *os << c.name; }

class KeyedJournalParsing : public testing::TestWithParam<JournalCase> {};

TEST_P(KeyedJournalParsing, ReplaysPutsAndDels) {
  std::size_t skipped = 99;
  EXPECT_EQ(parseKeyedJournal(GetParam().text, "h 1", skipped), GetParam().entries);
  EXPECT_EQ(skipped, GetParam().skipped);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KeyedJournalParsing,
    testing::Values(
        JournalCase{"Empty", "", {}, 0},
        JournalCase{"PutsInOrder", "h 1\nput\tb\tx\nput\ta\n", {{"b", {"x"}}, {"a", {}}}, 0},
        JournalCase{"DelRemoves", "h 1\nput\ta\t1\nput\tb\t2\ndel\ta\n", {{"b", {"2"}}}, 0},
        JournalCase{"PutAgainReplacesInPlace",
                    "h 1\nput\ta\t1\nput\tb\t2\nput\ta\t3\n",
                    {{"a", {"3"}}, {"b", {"2"}}},
                    0},
        JournalCase{"PutAfterDelComesLast",
                    "h 1\nput\ta\t1\nput\tb\t2\ndel\ta\nput\ta\t3\n",
                    {{"b", {"2"}}, {"a", {"3"}}},
                    0},
        JournalCase{
            "EscapesUndone", "h 1\nput\tk\ta\\tb\\nc\\\\d\\r\n", {{"k", {"a\tb\nc\\d\r"}}}, 0},
        JournalCase{"BadEscapeSkipped", "h 1\nput\tk\ta\\x\nput\tm\n", {{"m", {}}}, 1},
        JournalCase{"UnknownVerbSkipped", "h 1\nadd\tk\nput\tm\n", {{"m", {}}}, 1},
        JournalCase{"EmptyKeySkipped", "h 1\nput\t\tx\n", {}, 1},
        JournalCase{"DelWithFieldsSkipped", "h 1\nput\ta\ndel\ta\tx\n", {{"a", {}}}, 1},
        JournalCase{
            "CutLastLineKept", "h 1\nput\ta\t1\nput\tb\t2", {{"a", {"1"}}, {"b", {"2"}}}, 0},
        JournalCase{"WithoutHeaderNothing", "put\ta\t1\n", {}, 1}),
    [](const testing::TestParamInfo<JournalCase>& info) { return info.param.name; });

TEST(WebhookSignature, IsTheHmacSha256OfTheBody) {
  // RFC 4231, test case 2.
  EXPECT_EQ(webhookSignature("what do ya want for nothing?", "Jefe"),
            "sha256=5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
}

class CallbackQueueTest : public testing::Test {
 protected:
  std::unique_ptr<CallbackQueue> makeQueue(std::size_t maxWaiting = CallbackQueue::kMaxWaiting) {
    return std::make_unique<CallbackQueue>(
        dir_.file("callbacks"), clock_, [this] { return secret_; }, maxWaiting);
  }
  static QueuedCallback post(const std::string& url, const std::string& body) {
    return QueuedCallback{"POST", url, body, "webhook of " + body};
  }
  // Moves the manual clock and lets the queue's thread see it.
  void advance(std::int64_t ms, CallbackQueue& queue) {
    clock_.advance(ms);
    queue.wake();
  }

  LogCapture log_;
  TempDir dir_;
  ManualClock clock_;
  std::string secret_ = "s3cret";
  CallbackReceiver receiver_;
};

TEST_F(CallbackQueueTest, PostsSignedBodiesInOrder) {
  auto queue = makeQueue();
  queue->start();
  queue->add(post(receiver_.url("/hook"), R"({"event":"sent"})"));
  queue->add(QueuedCallback{"GET", receiver_.url("/dlr?v=8&a=%2B"), "", "report URL"});
  ASSERT_TRUE(receiver_.waitFor(2));
  const std::vector<ReceivedCall> calls = receiver_.calls();
  EXPECT_EQ(calls[0].method, "POST");
  EXPECT_EQ(calls[0].target, "/hook");
  EXPECT_EQ(calls[0].body, R"({"event":"sent"})");
  EXPECT_EQ(calls[0].header("Content-Type"), "application/json");
  EXPECT_EQ(calls[0].header("X-Parlane-Signature"), expectedSignature(calls[0].body, "s3cret"));
  EXPECT_EQ(calls[1].method, "GET");
  EXPECT_EQ(calls[1].target, "/dlr?v=8&a=%2B");
  EXPECT_EQ(calls[1].header("X-Parlane-Signature"), "");
  ASSERT_TRUE(eventually([&] { return queue->waiting() == 0; }));
}

TEST_F(CallbackQueueTest, RetriesAReceiverThatIsDownWithGrowingPauses) {
  const int port = receiver_.port();
  receiver_.stop();
  auto queue = makeQueue();
  queue->start();
  queue->add(post(receiver_.url("/hook"), "first"));
  ASSERT_TRUE(eventually([&] { return queue->failedTries() == 1; }));
  EXPECT_TRUE(eventually([&] { return log_.contains("next try in 2 s"); }));
  // Behind the first: waits for its receiver's pause, no try of its own.
  queue->add(post(receiver_.url("/hook"), "second"));
  advance(2'000, *queue);
  ASSERT_TRUE(eventually([&] { return queue->failedTries() == 2; }));
  EXPECT_TRUE(eventually([&] { return log_.contains("next try in 4 s"); }));
  ASSERT_TRUE(receiver_.start(port));
  advance(4'000, *queue);
  ASSERT_TRUE(receiver_.waitFor(2));
  EXPECT_EQ(receiver_.calls()[0].body, "first");
  EXPECT_EQ(receiver_.calls()[1].body, "second");
  ASSERT_TRUE(eventually([&] { return queue->waiting() == 0; }));
  EXPECT_EQ(queue->failedTries(), 2u);
}

TEST_F(CallbackQueueTest, AnAnswerOtherThan2xxIsTriedAgain) {
  receiver_.answerWith(500);
  auto queue = makeQueue();
  queue->start();
  queue->add(post(receiver_.url("/hook"), "x"));
  ASSERT_TRUE(receiver_.waitFor(1));
  ASSERT_TRUE(eventually([&] { return log_.contains("was not delivered (HTTP 500)"); }));
  receiver_.answerWith(204);
  advance(2'000, *queue);
  ASSERT_TRUE(receiver_.waitFor(2));
  ASSERT_TRUE(eventually([&] { return queue->waiting() == 0; }));
}

TEST_F(CallbackQueueTest, DropsWhatWasNotDeliveredWithinADayNamingIt) {
  receiver_.stop();
  auto queue = makeQueue();
  queue->start();
  queue->add(QueuedCallback{"POST", receiver_.url("/hook"), "x", "webhook of message 77"});
  ASSERT_TRUE(eventually([&] { return queue->failedTries() == 1; }));
  for (int hour = 0; hour < 24; ++hour) advance(3'600'000, *queue);
  ASSERT_TRUE(eventually([&] { return queue->waiting() == 0; }));
  EXPECT_TRUE(log_.contains(
      "the webhook of message 77 to http://127.0.0.1:" + std::to_string(receiver_.port()) +
      " is dropped: not delivered within 24 hours"));
  queue.reset();
  EXPECT_EQ(makeQueue()->waiting(), 0u);
}

TEST_F(CallbackQueueTest, DropsTheOldestWhenFull) {
  receiver_.stop();
  auto queue = makeQueue(2);
  for (const char* body : {"a", "b", "c"}) queue->add(post(receiver_.url("/hook"), body));
  EXPECT_EQ(queue->waiting(), 2u);
  EXPECT_TRUE(
      log_.contains("the webhook of a to http://127.0.0.1:" + std::to_string(receiver_.port()) +
                    " is dropped: 2 callbacks wait already"));
}

TEST_F(CallbackQueueTest, WhatWaitsSurvivesARestart) {
  const int port = receiver_.port();
  receiver_.stop();
  {
    auto queue = makeQueue();
    queue->start();
    queue->add(post(receiver_.url("/hook"), "one"));
    queue->add(post(receiver_.url("/hook"), "two\nlines\tand tabs"));
    ASSERT_TRUE(eventually([&] { return queue->failedTries() == 1; }));
  }
  ASSERT_TRUE(receiver_.start(port));
  auto queue = makeQueue();
  EXPECT_EQ(queue->waiting(), 2u);
  queue->start();
  ASSERT_TRUE(receiver_.waitFor(2));
  EXPECT_EQ(receiver_.calls()[0].body, "one");
  EXPECT_EQ(receiver_.calls()[1].body, "two\nlines\tand tabs");
  ASSERT_TRUE(eventually([&] { return queue->waiting() == 0; }));
  queue.reset();
  EXPECT_EQ(makeQueue()->waiting(), 0u);
}

TEST_F(CallbackQueueTest, AnUnreadableFileLineIsSkippedWithALogLine) {
  dir_.write("callbacks",
             "parlane callbacks 1\n"
             "put\t1\t1700000000\tPOST\thttp://127.0.0.1:1/a\tgood\tbody\n"
             "put\t2\tnot a time\tPOST\thttp://127.0.0.1:1/a\tbad\tbody\n"
             "garbage\n");
  auto queue = makeQueue();
  EXPECT_EQ(queue->waiting(), 1u);
  EXPECT_TRUE(log_.contains("1 unreadable line(s)"));
  EXPECT_TRUE(log_.contains("1 unreadable entry"));
}

TEST_F(CallbackQueueTest, AUrlThatIsNoHttpIsDroppedAtOnce) {
  auto queue = makeQueue();
  queue->start();
  queue->add(QueuedCallback{"GET", "ftp://example.org/x", "", "report URL of message 5"});
  ASSERT_TRUE(eventually([&] { return queue->waiting() == 0; }));
  EXPECT_TRUE(
      log_.contains("the report URL of message 5 to (no receiver) is dropped: not an http "
                    "or https URL"));
}

}  // namespace
}  // namespace parlane::test
