// What the user does to a message while the modem works on it wins over the gateway's retries:
// a message deleted from the outbox is not sent again, and a send cut short by Disconnect is no
// failed attempt.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "core/util/Utf.h"
#include "service/ServiceRig.h"
#include "support/InitializationReplies.h"
#include "support/ScriptedModem.h"

namespace parlane::test {
namespace {

bool isBody(const std::string& command) {
  return command.size() >= 20 && std::isxdigit(static_cast<unsigned char>(command[0])) != 0;
}

class OutboxUserWord : public ::testing::Test {
 protected:
  OutboxUserWord() {
    modem.setEcho(true);
    rig = std::make_unique<ServiceRig>(ServiceRig::Options{modem.portPath(), &clock});
    rig->settings.setInt("modem.use_features", 0);
    rig->settings.setInt("sms_fail_notify", 1);
  }
  ~OutboxUserWord() override { rig.reset(); }

  // A plain modem with a prompt for "AT+CMGS="; bodies go to the test's rule given before.
  void script() {
    answerInitialization(modem);
    modem.onPrefix("AT+CMGS=", "\r\n> ");
    modem.onPrefix("", "\r\nOK\r\n");
  }

  std::size_t sends() const {
    std::size_t count = 0;
    for (const std::string& command : modem.commands()) count += command.starts_with("AT+CMGS=");
    return count;
  }

  ScriptedModem modem;
  ManualClock clock{1'000'000};
  std::unique_ptr<ServiceRig> rig;
};

TEST_F(OutboxUserWord, MessageDeletedWhileTheModemRejectsItIsNotSentAgain) {
  // Queued before the rule that reads its id is handed to the modem's thread.
  const std::u16string id = rig->putInOutbox(u"+4917012345", u"deleted by the user");
  modem.onCommand([&](const std::string& command, std::string& reply) {
    if (!isBody(command)) return false;
    // The user deletes the row while the modem works on it; the modem rejects this attempt.
    rig->stores->outbox().remove(id);
    rig->stores->outbox().save();
    reply = "\r\n+CMS ERROR: 500\r\n";
    return true;
  });
  script();
  rig->start();
  ASSERT_TRUE(rig->connect());
  ASSERT_TRUE(eventually([&] {
    return rig->log.contains("not sent again") || rig->count(StoreKind::Failed) > 0 ||
           rig->count(StoreKind::Sent) > 0 || sends() > 1;
  })) << rig->log.text();
  EXPECT_EQ(sends(), 1u);
  EXPECT_EQ(rig->count(StoreKind::Outbox), 0u);
  EXPECT_EQ(rig->count(StoreKind::Failed), 0u);
  EXPECT_EQ(rig->count(StoreKind::Sent), 0u);
  EXPECT_TRUE(rig->log.contains("not sent again"));
}

struct CancelCase {
  const char* name;
  int retries;
  bool exit;  // "Exit" (the gateway stops) rather than "Disconnect"
};

void PrintTo(const CancelCase& c, std::ostream* os) { *os << c.name; }

class SendCutShort : public OutboxUserWord, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(SendCutShort, PutsTheMessageBackUntouched) {
  const CancelCase& c = GetParam();
  rig->settings.setInt("sender.retries", c.retries);
  std::atomic<bool> bodyTaken{false};
  modem.onCommand([&](const std::string& command, std::string&) {
    if (!isBody(command)) return false;
    bodyTaken = true;  // the network is slow: no result yet
    return true;
  });
  script();
  const std::u16string id = rig->putInOutbox(u"+4917012345", u"cut short");
  rig->start();
  ASSERT_TRUE(rig->connect());
  ASSERT_TRUE(eventually([&] { return bodyTaken.load(); })) << rig->log.text();
  if (c.exit) {
    rig->stop();
  } else {
    rig->service->disconnect();
    // The result has been handled once the message waits in the queue again.
    ASSERT_TRUE(eventually([&] { return rig->service->queuedOutgoing() == 1; })) << rig->log.text();
    EXPECT_EQ(rig->service->state().errorCount(), 0);
  }
  EXPECT_TRUE(rig->log.contains("Sending cancelled")) << rig->log.text();
  EXPECT_EQ(rig->count(StoreKind::Failed), 0u);
  EXPECT_EQ(rig->count(StoreKind::Sent), 0u);
  DatabaseRecord record;
  ASSERT_TRUE(rig->stores->outbox().get(id, record));
  EXPECT_EQ(rig->field(record, StoreKind::Outbox, u"attempts"), u"0");
  EXPECT_TRUE(rig->window.balloonsTitled("Error sending SMS!").empty());
}

INSTANTIATE_TEST_SUITE_P(OutboxUserWord, SendCutShort,
                         ::testing::Values(CancelCase{"DisconnectWithRetriesLeft", 3, false},
                                           CancelCase{"DisconnectWithoutRetries", 0, false},
                                           CancelCase{"ExitWithoutRetries", 0, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace parlane::test
