#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "core/util/Utf.h"
#include "service/ServiceRig.h"
#include "support/InitializationReplies.h"
#include "support/ScriptedModem.h"

namespace parlane::test {
namespace {

using Strings = std::vector<std::string>;

constexpr std::time_t kStart = 1'700'000'000;  // the manual clock's wall time at the start

// The gateway on a pseudo-terminal modem, its scheduler on a manual clock that the tests move by
// hand. The modem takes every message (or refuses them all, when told to) and counts them.
class ScheduledSending : public ::testing::Test {
 protected:
  ScheduledSending() {
    rig = std::make_unique<ServiceRig>(ServiceRig::Options{modem.portPath(), &clock});
    rig->settings.setInt("modem.use_features", 0);
    rig->settings.setInt("sender.read_mode", 0);
    rig->settings.setInt("sender.delete_mode", 1);
    rig->settings.setInt("sms_fail_notify", 1);
  }
  ~ScheduledSending() override { rig.reset(); }

  void script(bool refuse = false) {
    answerInitialization(modem);
    if (refuse) {
      modem.onPrefix("AT+CMGS=", "\r\n+CMS ERROR: 38\r\n");
    } else {
      modem.onPrefix("AT+CMGS=", "\r\n> ");
    }
    modem.onCommand([this](const std::string& command, std::string& reply) {
      if (command.size() < 20 || !std::isxdigit(static_cast<unsigned char>(command[0]))) {
        return false;
      }
      reply = "\r\n+CMGS: " + std::to_string(++sends) + "\r\n\r\nOK\r\n";
      return true;
    });
    modem.onPrefix("", "\r\nOK\r\n");
  }

  // A message to send, held back until `notBefore` and given up at `expires` (seconds after the
  // start; 0: none).
  static SMSMessage message(const std::u16string& text, int notBefore = 0, int expires = 0) {
    SMSMessage sms(u"", u"+4917012345", text);
    if (notBefore != 0) sms.notBefore = static_cast<MessageTime>(kStart + notBefore);
    if (expires != 0) sms.expires = static_cast<MessageTime>(kStart + expires);
    return sms;
  }

  void advance(std::int64_t ms) {
    clock.advance(ms);
    rig->scheduler.runDue();
  }

  Strings contents(StoreKind kind) {
    Strings texts;
    for (const DatabaseRecord& record : rig->records(kind)) {
      texts.push_back(toUtf8(rig->field(record, kind, u"content")));
    }
    return texts;
  }
  bool sentAre(const Strings& texts) {
    return eventually([&] { return contents(StoreKind::Sent) == texts; });
  }
  bool outboxIs(const Strings& texts) {
    return eventually([&] { return contents(StoreKind::Outbox) == texts; });
  }
  // The last balloon about a failed message says `reason`.
  bool failureToldAs(const std::string& reason) {
    return eventually([&] {
      const auto balloons = rig->window.balloonsTitled("Error sending SMS!");
      return !balloons.empty() &&
             balloons.back().second == "Failed to send SMS to +4917012345:\n" + reason;
    });
  }
  std::int64_t timerMs() {
    return rig->scheduler.period(ServiceScheduler::kOutboxTimes).value_or(-1);
  }

  ScriptedModem modem;
  ManualClock clock{1'000'000, kStart};
  std::unique_ptr<ServiceRig> rig;
  std::atomic<int> sends{0};
};

TEST_F(ScheduledSending, LaterMessagesGoFirstAndTheHeldOneGoesAtItsTime) {
  script();
  rig->start();
  ASSERT_TRUE(rig->submit(message(u"at noon", 60), message(u"now")).allTaken());
  // One timer at the held message's time; nothing looks at the clock before it.
  EXPECT_EQ(timerMs(), 60000);
  ASSERT_TRUE(rig->connect());
  ASSERT_TRUE(sentAre({"now"}));
  EXPECT_TRUE(outboxIs({"at noon"}));

  advance(59999);
  // A message queued later overtakes it too; once it is sent, the held one would have gone
  // before it, had it been due.
  ASSERT_TRUE(rig->submit(message(u"just before")).allTaken());
  ASSERT_TRUE(sentAre({"now", "just before"}));
  EXPECT_TRUE(outboxIs({"at noon"}));
  EXPECT_TRUE(eventually([&] { return timerMs() == 1; }));

  advance(1);
  ASSERT_TRUE(sentAre({"now", "just before", "at noon"}));
  EXPECT_TRUE(eventually([&] { return rig->count(StoreKind::Outbox) == 0; }));
  EXPECT_FALSE(rig->scheduler.isScheduled(ServiceScheduler::kOutboxTimes));
  EXPECT_EQ(sends.load(), 3);
}

TEST_F(ScheduledSending, HeldMessagesGoInTheOrderOfTheirTimes) {
  script();
  rig->start();
  ASSERT_TRUE(rig->connect());
  ASSERT_TRUE(
      rig->submit(message(u"third", 30), message(u"first", 10), message(u"second", 20)).allTaken());
  EXPECT_TRUE(eventually([&] { return timerMs() == 10000; }));
  advance(10000);
  ASSERT_TRUE(sentAre({"first"}));
  EXPECT_TRUE(eventually([&] { return timerMs() == 10000; }));
  advance(20000);
  ASSERT_TRUE(sentAre({"first", "second", "third"}));
}

TEST_F(ScheduledSending, ExpiryWhileDisconnectedFilesTheMessageAsFailedExpired) {
  script();
  rig->start();
  ASSERT_TRUE(rig->submit(message(u"stale", 0, 30), message(u"fresh", 0, 90)).allTaken());
  EXPECT_EQ(timerMs(), 30000);
  advance(30000);
  ASSERT_TRUE(eventually([&] { return contents(StoreKind::Failed) == Strings{"stale"}; }));
  EXPECT_TRUE(rig->log.contains("not sent by its expiry: filed as failed, expired"));
  EXPECT_TRUE(failureToldAs("expired"));
  EXPECT_TRUE(eventually([&] { return timerMs() == 60000; }));
  // Not the modem's fault: the error counter stays.
  EXPECT_EQ(rig->service->state().errorCount(), 0);

  ASSERT_TRUE(rig->connect());
  ASSERT_TRUE(sentAre({"fresh"}));
  EXPECT_EQ(sends.load(), 1);
  EXPECT_FALSE(rig->scheduler.isScheduled(ServiceScheduler::kOutboxTimes));
}

// A modem that refuses every message; on the attempt `lateAttempt` (counted from 1) the clock
// passes the message's expiry first. A refusal after the expiry ends the retries.
struct RefusalCase {
  const char* name;
  int expires;      // seconds after the start; 0: none
  int lateAttempt;  // 0: the clock never moves
  int attempts;     // what the modem sees
  const char* reason;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class ScheduledRefusals : public ScheduledSending,
                          public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(ScheduledRefusals, EndInFailedWithTheirReason) {
  const RefusalCase& c = GetParam();
  rig->settings.setInt("sender.retries", 3);
  std::atomic<int> attempts{0};
  modem.onCommand([&](const std::string& command, std::string& reply) {
    if (command.rfind("AT+CMGS=", 0) != 0) return false;
    if (++attempts == c.lateAttempt) clock.advance(10000);
    reply = "\r\n+CMS ERROR: 38\r\n";
    return true;
  });
  script();
  rig->start();
  ASSERT_TRUE(rig->connect());
  ASSERT_TRUE(rig->submit(message(u"refused", 0, c.expires)).allTaken());
  ASSERT_TRUE(eventually([&] { return contents(StoreKind::Failed) == Strings{"refused"}; }));
  EXPECT_EQ(attempts.load(), c.attempts);
  EXPECT_TRUE(eventually([&] { return rig->count(StoreKind::Outbox) == 0; }));
  EXPECT_TRUE(failureToldAs(c.reason));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScheduledRefusals,
    ::testing::Values(RefusalCase{"NoExpiryUsesEveryRetry", 0, 0, 4,
                                  "Network out of order (please check the type of number)"},
                      RefusalCase{"ExpiryNotReachedUsesEveryRetry", 3600, 2, 4,
                                  "Network out of order (please check the type of number)"},
                      RefusalCase{"FirstRefusalAfterTheExpiry", 5, 1, 1, "expired"},
                      RefusalCase{"RetryPendingAtTheExpiry", 5, 2, 2, "expired"}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

// What start-up finds in the outbox: held and expiring records keep their times.
TEST_F(ScheduledSending, TimesOfRecordsFoundAtStartAreKept) {
  script();
  for (const SMSMessage& queued :
       {message(u"held", 40), message(u"expired before the start", 0, -5), message(u"plain")}) {
    rig->stores->outbox().put(
        outgoingRecord(queued, StoreKind::Outbox, rig->stores->outbox().newIdText()));
  }
  ASSERT_EQ(rig->stores->outbox().save(), 0);
  rig->start();
  // The held one waits beside the queue.
  EXPECT_EQ(rig->service->queuedOutgoing(), 2u);
  EXPECT_EQ(timerMs(), 0);
  advance(0);
  ASSERT_TRUE(eventually(
      [&] { return contents(StoreKind::Failed) == Strings{"expired before the start"}; }));
  EXPECT_TRUE(eventually([&] { return timerMs() == 40000; }));
  ASSERT_TRUE(rig->connect());
  ASSERT_TRUE(sentAre({"plain"}));
  EXPECT_TRUE(outboxIs({"held"}));
  advance(40000);
  ASSERT_TRUE(sentAre({"plain", "held"}));
}

}  // namespace
}  // namespace parlane::test
