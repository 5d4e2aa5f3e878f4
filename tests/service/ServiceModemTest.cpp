#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <sstream>

#include "core/util/Utf.h"
#include "service/ServiceRig.h"
#include "support/InitializationReplies.h"
#include "support/ScriptedModem.h"

namespace parlane::test {
namespace {

using Strings = std::vector<std::string>;

// A delivery report for reference 42 to +4915212345678, status 0 (delivered).
constexpr char kReportPdu[] =
    "0791447758100650062A0D91945112325476F8622190010000406221900100504000";

// The gateway on a pseudo-terminal modem that echoes what it gets. Tests add their own rules,
// then call script() for the rest: the answers of a plain modem, the prompt for "AT+CMGS=" and
// a reference for each PDU body.
class ServiceModem : public ::testing::Test {
 protected:
  ServiceModem() {
    modem.setEcho(true);
    rig = std::make_unique<ServiceRig>(ServiceRig::Options{modem.portPath(), &clock});
    rig->settings.setInt("modem.use_features", 0);
    rig->settings.setInt("sender.read_mode", 0);
    rig->settings.setInt("sender.delete_mode", 1);
  }
  ~ServiceModem() override { rig.reset(); }

  void script() {
    answerInitialization(modem);
    modem.onPrefix("AT+CMGS=", "\r\n> ");
    modem.onCommand([this](const std::string& command, std::string& reply) {
      if (command.size() < 20 || !std::isxdigit(static_cast<unsigned char>(command[0]))) {
        return false;
      }
      reply = "\r\n+CMGS: " + std::to_string(++reference_) + "\r\n\r\nOK\r\n";
      return true;
    });
    modem.onPrefix("", "\r\nOK\r\n");
  }

  // The commands the modem got that begin with `prefix`.
  Strings commandsStartingWith(const std::string& prefix) const {
    Strings matching;
    for (const std::string& command : modem.commands()) {
      if (command.rfind(prefix, 0) == 0) matching.push_back(command);
    }
    return matching;
  }
  bool waitForCommand(const std::string& command, std::size_t count = 1) {
    return eventually([&] {
      const Strings all = modem.commands();
      return static_cast<std::size_t>(std::count(all.begin(), all.end(), command)) >= count;
    });
  }
  // Moves the scheduler's clock and runs what is due.
  void advance(std::int64_t ms) {
    clock.advance(ms);
    rig->scheduler.runDue();
  }
  // The fields of the line of a folder file that contains `text`.
  Strings lineWith(StoreKind kind, const std::string& text) {
    std::istringstream lines(rig->file(kind));
    std::string line;
    while (std::getline(lines, line)) {
      if (line.find(text) == std::string::npos) continue;
      Strings fields;
      std::istringstream split(line);
      std::string field;
      while (std::getline(split, field, '\t')) fields.push_back(field);
      return fields;
    }
    return {};
  }

  ScriptedModem modem;
  ManualClock clock{1'000'000};
  std::unique_ptr<ServiceRig> rig;

 private:
  int reference_ = 0;
};

TEST_F(ServiceModem, IndexNoticeIsStoredOnceAndDeletedOnlyAfterTheInboxHasIt) {
  std::atomic<bool> inboxHadIt{false};
  modem.on("AT+CMGR=3",
           "\r\n+CMGR: 0,,30\r\n" + deliverHex("4917012345", "three") + "\r\n\r\nOK\r\n");
  modem.onCommand([&](const std::string& command, std::string& reply) {
    if (command != "AT+CMGD=3") return false;
    inboxHadIt = rig->file(StoreKind::Inbox).find("three") != std::string::npos;
    reply = "\r\nOK\r\n";
    return true;
  });
  script();
  rig->start();
  ASSERT_TRUE(rig->connect());
  modem.send("\r\n+CMTI: \"SM\",3\r\n");
  ASSERT_TRUE(waitForCommand("AT+CMGD=3"));
  EXPECT_TRUE(inboxHadIt);
  ASSERT_EQ(rig->count(StoreKind::Inbox), 1u);
  const DatabaseRecord record = rig->records(StoreKind::Inbox)[0];
  EXPECT_EQ(rig->field(record, StoreKind::Inbox, u"from"), u"+4917012345");
  EXPECT_EQ(rig->field(record, StoreKind::Inbox, u"content"), u"three");
  EXPECT_EQ(commandsStartingWith("AT+CMGD=3").size(), 1u);
  EXPECT_EQ(rig->service->state().receivedCount(), 1);
}

TEST_F(ServiceModem, DeliveryReportMarksTheSentRecordBeforeItIsDeleted) {
  SMSMessage sent(u"", u"+4915212345678", u"report me");
  sent.refid = 42;
  sent.flags = 4;
  rig->stores->sent().put(outgoingRecord(sent, StoreKind::Sent, rig->stores->sent().newIdText()));
  ASSERT_EQ(rig->stores->sent().save(), 0);
  Strings markedOnDisk;
  modem.on("AT+CMGR=4", "\r\n+CMGR: 0,,25\r\n" + std::string(kReportPdu) + "\r\n\r\nOK\r\n");
  modem.onCommand([&](const std::string& command, std::string& reply) {
    if (command != "AT+CMGD=4") return false;
    markedOnDisk = lineWith(StoreKind::Sent, "report me");
    reply = "\r\nOK\r\n";
    return true;
  });
  script();
  rig->start();
  ASSERT_TRUE(rig->connect());
  modem.send("\r\n+CDSI: \"SM\",4\r\n");
  ASSERT_TRUE(waitForCommand("AT+CMGD=4"));
  ASSERT_GT(markedOnDisk.size(), 8u);
  EXPECT_EQ(markedOnDisk[8], "20");  // report requested (4) and delivered (16)
  ASSERT_TRUE(rig->window.waitForBalloon("Delivery report received"));
  EXPECT_EQ(rig->window.balloonsTitled("Delivery report received")[0].second,
            "SMS sent to +4915212345678 was delivered successfully");
  // A report is not a received message.
  EXPECT_EQ(rig->count(StoreKind::Inbox), 0u);
  EXPECT_EQ(rig->service->state().receivedCount(), 0);
}

TEST_F(ServiceModem, RejectingModemSendsOncePlusTheRetriesThenFiles) {
  struct Case {
    int retries;
    std::size_t attempts;
  };
  for (const Case& c : {Case{3, 4}, Case{0, 1}}) {
    SCOPED_TRACE(c.retries);
    ScriptedModem rejecting;
    rejecting.setEcho(true);
    ServiceRig gateway(ServiceRig::Options{rejecting.portPath(), &clock});
    gateway.settings.setInt("modem.use_features", 0);
    gateway.settings.setInt("sender.retries", c.retries);
    gateway.settings.setInt("sms_fail_notify", 1);
    rejecting.onPrefix("AT+CMGS=", "\r\n+CMS ERROR: 500\r\n");
    rejecting.onPrefix("", "\r\nOK\r\n");
    const std::u16string id = gateway.putInOutbox(u"+4917012345", u"never");
    DatabaseRecord queued;
    ASSERT_TRUE(gateway.stores->outbox().get(id, queued));
    gateway.start();
    ASSERT_TRUE(gateway.connect());
    // The balloon of the last failure comes after its filing.
    ASSERT_TRUE(eventually(
        [&] { return gateway.window.balloonsTitled("Error sending SMS!").size() == c.attempts; }));
    EXPECT_EQ(gateway.count(StoreKind::Failed), 1u);
    std::size_t attempts = 0;
    for (const std::string& command : rejecting.commands()) {
      if (command.rfind("AT+CMGS=", 0) == 0) ++attempts;
    }
    EXPECT_EQ(attempts, c.attempts);
    EXPECT_EQ(gateway.count(StoreKind::Outbox), 0u);
    EXPECT_EQ(gateway.count(StoreKind::Sent), 0u);
    const DatabaseRecord failed = gateway.records(StoreKind::Failed)[0];
    EXPECT_EQ(gateway.field(failed, StoreKind::Failed, u"uniqueid"),
              gateway.field(queued, StoreKind::Outbox, u"uniqueid"));
    EXPECT_EQ(gateway.service->state().errorCount(), static_cast<int>(c.attempts));
    const auto balloons = gateway.window.balloonsTitled("Error sending SMS!");
    ASSERT_EQ(balloons.size(), c.attempts);
    EXPECT_EQ(balloons[0].second.rfind("Failed to send SMS to +4917012345:\n", 0), 0u);
  }
}

TEST_F(ServiceModem, MessageLeavesTheOutboxOnlyOnceItsResultIsRecorded) {
  std::atomic<bool> inOutboxWhileSending{false};
  std::atomic<bool> inSentWhileSending{true};
  modem.onCommand([&](const std::string& command, std::string& reply) {
    if (command.size() < 20 || !std::isxdigit(static_cast<unsigned char>(command[0]))) {
      return false;
    }
    inOutboxWhileSending = rig->file(StoreKind::Outbox).find("keep me") != std::string::npos;
    inSentWhileSending = rig->file(StoreKind::Sent).find("keep me") != std::string::npos;
    reply = "\r\n+CMGS: 77\r\n\r\nOK\r\n";
    return true;
  });
  script();
  rig->putInOutbox(u"+4917012345", u"keep me");
  rig->start();
  ASSERT_TRUE(rig->connect());
  ASSERT_TRUE(eventually([&] { return rig->count(StoreKind::Sent) == 1; }));
  EXPECT_TRUE(inOutboxWhileSending);
  EXPECT_FALSE(inSentWhileSending);
  ASSERT_TRUE(eventually([&] { return rig->file(StoreKind::Outbox).empty(); }));
  EXPECT_EQ(lineWith(StoreKind::Sent, "keep me").at(10), "77");
}

TEST_F(ServiceModem, DispatchNeverHandsTheSameRecordToTheModemTwice) {
  script();
  for (int i = 0; i < 5; ++i)
    rig->putInOutbox(u"+4917012345", u"message " + fromAscii(std::to_string(i)));
  rig->start();
  std::atomic<bool> stop{false};
  std::vector<std::thread> dispatchers;
  for (int t = 0; t < 3; ++t) {
    dispatchers.emplace_back([&] {
      while (!stop) rig->service->dispatchNext();
    });
  }
  ASSERT_TRUE(rig->connect());
  const bool allSent = eventually(
      [&] { return rig->count(StoreKind::Sent) == 5 && rig->count(StoreKind::Outbox) == 0; });
  stop = true;
  for (std::thread& thread : dispatchers) thread.join();
  ASSERT_TRUE(allSent);
  const Strings prompts = commandsStartingWith("AT+CMGS=");
  EXPECT_EQ(prompts.size(), 5u);
  std::set<std::string> bodies;
  for (const std::string& command : modem.commands()) {
    if (command.size() >= 20 && std::isxdigit(static_cast<unsigned char>(command[0]))) {
      EXPECT_TRUE(bodies.insert(command).second) << "written twice: " << command;
    }
  }
  EXPECT_EQ(bodies.size(), 5u);
  EXPECT_EQ(rig->count(StoreKind::Outbox), 0u);
}

TEST_F(ServiceModem, MessagesHandedInFromManyThreadsAtOnceAreSavedBeforeTheAnswerAndSentOnce) {
  script();
  rig->start();
  ASSERT_TRUE(rig->connect());
  constexpr int kThreads = 8;
  constexpr int kEach = 15;
  std::atomic<int> unsaved{0};
  std::atomic<int> refused{0};
  std::vector<std::thread> doors;
  for (int t = 0; t < kThreads; ++t) {
    doors.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        const std::string text = "door " + std::to_string(t) + " message " + std::to_string(i);
        if (!rig->submit(SMSMessage(u"", u"+4917012345", fromUtf8(text))).allTaken()) {
          ++refused;
          continue;
        }
        // Taken means on disk: in the outbox file, or already sent and moved on.
        const std::string marked = text + "\t";
        if (rig->file(StoreKind::Outbox).find(marked) == std::string::npos &&
            rig->file(StoreKind::Sent).find(marked) == std::string::npos) {
          ++unsaved;
        }
      }
    });
  }
  for (std::thread& door : doors) door.join();
  EXPECT_EQ(refused, 0);
  EXPECT_EQ(unsaved, 0);
  ASSERT_TRUE(eventually([&] {
    return rig->count(StoreKind::Sent) == kThreads * kEach && rig->count(StoreKind::Outbox) == 0;
  }));
  std::set<std::string> bodies;
  for (const std::string& command : modem.commands()) {
    if (command.size() >= 20 && std::isxdigit(static_cast<unsigned char>(command[0]))) {
      EXPECT_TRUE(bodies.insert(command).second) << "written twice: " << command;
    }
  }
  EXPECT_EQ(bodies.size(), std::size_t{kThreads * kEach});
}

TEST_F(ServiceModem, SenderDelaySpacesMessagesOnTheSchedulerClock) {
  script();
  rig->settings.setInt("sender.delay", 3000);
  for (const char16_t* text : {u"one", u"two", u"three"}) rig->putInOutbox(u"+4917012345", text);
  rig->start();
  ASSERT_TRUE(rig->connect());
  for (std::size_t sent = 1; sent <= 2; ++sent) {
    SCOPED_TRACE(sent);
    ASSERT_TRUE(eventually(
        [&] { return rig->count(StoreKind::Sent) == sent && rig->service->state().sendPause(); }));
    EXPECT_EQ(rig->service->queuedOutgoing(), 3 - sent);
    advance(2999);
    EXPECT_EQ(rig->service->queuedOutgoing(), 3 - sent) << "handed over before the pause ended";
    EXPECT_TRUE(rig->service->state().sendPause());
    // The end of the pause is the service thread's work: the hand-over follows the tick.
    advance(1);
    EXPECT_TRUE(eventually([&] { return rig->service->queuedOutgoing() == 2 - sent; }));
  }
  ASSERT_TRUE(eventually([&] { return rig->count(StoreKind::Sent) == 3; }));
}

TEST_F(ServiceModem, PollingStoresAMessageThatStaysInTheModemMemoryOnce) {
  rig->settings.setInt("sender.read_mode", 2);
  rig->settings.setInt("receiver.polling_time", 10);
  rig->settings.setInt("sender.delete_mode", 0);
  modem.on("AT+CMGL=1",
           "\r\n+CMGL: 2,1,,30\r\n" + deliverHex("4917012345", "stays") + "\r\n\r\nOK\r\n");
  script();
  rig->start();
  ASSERT_TRUE(rig->connect());
  ServiceState& state = rig->service->state();
  for (int cycle = 1; cycle <= 3; ++cycle) {
    SCOPED_TRACE(cycle);
    advance(10000);  // the polling step
    ASSERT_TRUE(waitForCommand("AT+CMGL=0", static_cast<std::size_t>(cycle)));
    ASSERT_TRUE(eventually([&] { return state.memoryReadingState() == 8; }));
    advance(5000);  // the end of the cycle
    ASSERT_TRUE(eventually([&] { return state.memoryReadingState() == 0; }));
    EXPECT_EQ(rig->count(StoreKind::Inbox), 1u);
  }
  EXPECT_EQ(commandsStartingWith("AT+CMGL=1").size(), 3u);
  EXPECT_TRUE(rig->log.contains("Duplicated SMS ignored"));
  EXPECT_TRUE(commandsStartingWith("AT+CMGD=1,4").empty());
  EXPECT_EQ(commandsStartingWith("AT+CMGD").size(), 1u);  // the probe "AT+CMGD=?" only
}

TEST_F(ServiceModem, PollingCycleEndsOnlyOnceTheMessagesItsListingFoundAreStored) {
  // The listing's end reaches the sending thread at once, its messages the receiving one that
  // decodes them one by one: a full memory makes the second far slower than the first.
  rig->settings.setInt("sender.read_mode", 2);
  rig->settings.setInt("receiver.polling_time", 10);
  rig->settings.setInt("sender.delete_mode", 0);
  constexpr int kListed = 80;
  std::string listing = "\r\n";
  for (int slot = 1; slot <= kListed; ++slot) {
    listing += "+CMGL: " + std::to_string(slot) + ",0,,30\r\n" +
               deliverHex("4917012345", "message " + std::to_string(slot)) + "\r\n";
  }
  modem.on("AT+CMGL=0", listing + "\r\nOK\r\n");
  modem.on("AT+CMGL=1", "\r\nOK\r\n");
  script();
  rig->start();
  ASSERT_TRUE(rig->connect());
  advance(10000);  // the polling step
  ASSERT_TRUE(eventually([&] { return rig->service->state().memoryReadingState() == 8; }));
  EXPECT_EQ(rig->count(StoreKind::Inbox), static_cast<std::size_t>(kListed))
      << "the cycle's end was timed before all it found was stored";
}

TEST_F(ServiceModem, MessageWaitingBeforeConnectingIsStoredOnceInNotifyMode) {
  std::atomic<bool> inboxHadIt{false};
  modem.on("AT+CMGL=4",
           "\r\n+CMGL: 1,0,,30\r\n" + deliverHex("4917012345", "waited") + "\r\n\r\nOK\r\n");
  modem.onCommand([&](const std::string& command, std::string& reply) {
    if (command != "AT+CMGD=1") return false;
    inboxHadIt = rig->file(StoreKind::Inbox).find("waited") != std::string::npos;
    reply = "\r\nOK\r\n";
    return true;
  });
  script();
  rig->start();
  ASSERT_TRUE(rig->connect());
  ASSERT_TRUE(waitForCommand("AT+CMGD=1"));
  EXPECT_TRUE(inboxHadIt);
  EXPECT_EQ(rig->count(StoreKind::Inbox), 1u);

  // The modem lost the delete and lists the message again at the next connection.
  rig->service->disconnect();
  ASSERT_TRUE(rig->connect(1));
  ASSERT_TRUE(waitForCommand("AT+CMGD=1", 2));
  EXPECT_TRUE(rig->log.contains("Duplicated SMS ignored"));
  EXPECT_EQ(rig->count(StoreKind::Inbox), 1u);
  EXPECT_EQ(commandsStartingWith("AT+CMGL=4").size(), 2u);
}

TEST_F(ServiceModem, MessageReadButNotStoredByAnEarlierRunIsStoredAfterConnecting) {
  // Read ("REC READ") before an earlier run stopped, never stored: only a listing of every
  // message finds it.
  const std::string listed =
      "\r\n+CMGL: 2,1,,30\r\n" + deliverHex("4917012345", "left behind") + "\r\n\r\nOK\r\n";
  modem.on("AT+CMGL=4", listed);
  modem.on("AT+CMGL=\"ALL\"", "\r\nOK\r\n");
  modem.on("AT+CMGL=0", "\r\nOK\r\n");
  script();
  rig->start();
  ASSERT_TRUE(rig->connect());
  ASSERT_TRUE(waitForCommand("AT+CMGD=2"));
  EXPECT_EQ(rig->count(StoreKind::Inbox), 1u);
  EXPECT_FALSE(lineWith(StoreKind::Inbox, "left behind").empty());
}

TEST_F(ServiceModem, UnpluggedPortShowsTheErrorAndTheReconnectCheckBringsItBack) {
  rig->settings.setInt("modem.reconnect.time", 60);
  script();
  rig->start();
  ASSERT_TRUE(rig->connect());
  EXPECT_TRUE(rig->scheduler.isScheduled(ServiceScheduler::kReconnectCheck));

  modem.unplug();
  ASSERT_TRUE(rig->window.waitForState(ConnectionState::Error));
  EXPECT_EQ(rig->channel->getStatus(), ChannelStatus::Error);
  rig->submit(SMSMessage(u"", u"+4917012345", u"after the cable"));

  // The port is still gone: the attempt fails, and the check stays for the next one.
  advance(60000);
  ASSERT_TRUE(rig->window.waitForState(ConnectionState::Error, 2));
  ASSERT_TRUE(rig->window.waitForCommandsDone());
  EXPECT_EQ(rig->window.posted(), (std::vector<int>{32773, 32769}));
  EXPECT_TRUE(rig->log.contains("Connection lost, trying to reconnect the modem"));
  EXPECT_TRUE(rig->scheduler.isScheduled(ServiceScheduler::kReconnectCheck));
  EXPECT_EQ(rig->count(StoreKind::Sent), 0u);

  modem.plugBack();
  advance(60000);
  ASSERT_TRUE(rig->window.waitForState(ConnectionState::Connected, 2));
  ASSERT_TRUE(eventually(
      [&] { return rig->count(StoreKind::Sent) == 1 && rig->count(StoreKind::Outbox) == 0; }));
}

TEST_F(ServiceModem, UserDisconnectEndsTheResetAndReconnectTimers) {
  rig->settings.setInt("modem.reconnect.time", 60);
  rig->settings.setInt("modem.reset.time", 600);
  script();
  rig->start();
  ASSERT_TRUE(rig->connect());
  EXPECT_EQ(rig->scheduler.period(ServiceScheduler::kReconnectCheck), 60000);
  EXPECT_EQ(rig->scheduler.period(ServiceScheduler::kModemReset), 600000);
  rig->service->disconnect();
  EXPECT_FALSE(rig->scheduler.isScheduled(ServiceScheduler::kReconnectCheck));
  EXPECT_FALSE(rig->scheduler.isScheduled(ServiceScheduler::kModemReset));
  EXPECT_EQ(rig->window.lastState(), ConnectionState::Disconnected);
  EXPECT_EQ(rig->channel->getStatus(), ChannelStatus::Closed);
}

TEST_F(ServiceModem, FailedListingDeletesNothing) {
  rig->settings.setInt("sender.read_mode", 2);
  rig->settings.setInt("receiver.polling_time", 10);
  rig->settings.setInt("sender.delete_mode", 2);
  rig->settings.setInt("sender.delete_after", 0);
  modem.on("AT+CMGL=1", "\r\n+CMS ERROR: 302\r\n");
  script();
  rig->start();
  ASSERT_TRUE(rig->connect());
  advance(10000);
  ASSERT_TRUE(rig->window.waitForBalloon("Can't read modem memory"));
  ASSERT_TRUE(eventually([&] { return rig->service->state().memoryReadingState() == 0; }));
  // Whatever the service queued after the error has been written before this.
  rig->sender->enqueue(std::make_unique<ATCommandMessage>(u"AT\r\n"));
  ASSERT_TRUE(waitForCommand("AT"));
  EXPECT_TRUE(commandsStartingWith("AT+CMGD=1,4").empty());
}

TEST_F(ServiceModem, RejectedSendDuringTheListingAfterConnectingIsNoMemoryError) {
  rig->settings.setInt("sender.retries", 0);
  rig->settings.setInt("sms_fail_notify", 1);
  rig->settings.setInt("receiver.polling_time", 30);
  // 38: "Network out of order".
  modem.onPrefix("AT+CMGS=", "\r\n+CMS ERROR: 38\r\n");
  script();
  rig->putInOutbox(u"+4917012345", u"rejected");
  rig->start();
  ASSERT_TRUE(rig->connect());
  // The send is rejected right after the listing after connecting; the listing's end reaches
  // the service thread behind what the listing found, so it may come after the send's result.
  // Either way the listing ends as a listing (its cycle stays open until the scheduler's clock
  // moves on), not as a memory error.
  ASSERT_TRUE(rig->window.waitForBalloon("Error sending SMS!"));
  EXPECT_TRUE(eventually([&] { return rig->service->state().memoryReadingState() == 8; }));
  EXPECT_TRUE(rig->window.balloonsTitled("Can't read modem memory").empty());
  EXPECT_EQ(rig->count(StoreKind::Failed), 1u);
}

TEST_F(ServiceModem, InvalidIndexInAnswerToAListingIsAnEmptyMemory) {
  rig->settings.setInt("sender.read_mode", 2);
  rig->settings.setInt("receiver.polling_time", 10);
  rig->settings.setInt("sender.delete_mode", 2);
  rig->settings.setInt("sender.delete_after", 0);
  modem.onPrefix("AT+CMGL=", "\r\n+CMS ERROR: 321\r\n");
  script();
  rig->start();
  ASSERT_TRUE(rig->connect());
  advance(10000);
  ASSERT_TRUE(waitForCommand("AT+CMGL=1"));
  // The read and the unread listing both come back empty: the cycle runs to its end.
  advance(10000);
  ASSERT_TRUE(waitForCommand("AT+CMGL=0"));
  advance(10000);
  rig->sender->enqueue(std::make_unique<ATCommandMessage>(u"AT\r\n"));
  ASSERT_TRUE(waitForCommand("AT"));
  ASSERT_TRUE(rig->window.waitForCommandsDone());
  EXPECT_TRUE(rig->window.balloonsTitled("Can't read modem memory").empty());
  EXPECT_TRUE(commandsStartingWith("AT+CMGD=1,4").empty());
}

TEST_F(ServiceModem, ModemResetWritesItsCommandsAndReconnectsAfterItsPause) {
  rig->settings.setInt("modem.reset.time", 600);
  rig->settings.setString("modem.reset.cmd.0", u"AT+CFUN=1,1");
  rig->settings.setString("modem.reset.cmd.1", u"AT");
  rig->settings.setInt("modem.reset.reconnect", 1);
  rig->settings.setInt("modem.reset.sleep", 1000);
  script();
  rig->start(true);  // the pause runs on the scheduler's thread
  ASSERT_TRUE(rig->connect());
  clock.advance(600000);
  ASSERT_TRUE(waitForCommand("AT+CFUN=1,1"));
  ASSERT_TRUE(waitForCommand("AT"));
  EXPECT_TRUE(rig->window.posted().empty());
  clock.advance(1000);
  ASSERT_TRUE(rig->window.waitForState(ConnectionState::Connected, 2));
  EXPECT_EQ(rig->window.posted(), (std::vector<int>{32773, 32769}));
  EXPECT_TRUE(rig->scheduler.isScheduled(ServiceScheduler::kModemReset));
  EXPECT_EQ(commandsStartingWith("ATZ").size(), 2u);
}

TEST_F(ServiceModem, SilentModemIsReportedAndTheGatewayGoesOn) {
  modem.setSilent(true);
  rig->settings.setInt("sender.timeout.connect", 50);
  rig->settings.setInt("sender.timeout", 50);
  rig->settings.setInt("sender.retries", 1);
  script();
  rig->start();
  ASSERT_TRUE(rig->connect());
  ASSERT_TRUE(rig->window.waitForBalloon("Connection failed"));
  EXPECT_FALSE(rig->window.balloonsTitled("Connected, but some problems found").empty());
  EXPECT_TRUE(rig->window.balloonsTitled("Connected").empty());
  // A message to it fails, is tried once more and kept in "failed".
  rig->submit(SMSMessage(u"", u"+4917012345", u"into the void"));
  ASSERT_TRUE(eventually(
      [&] { return rig->count(StoreKind::Failed) == 1 && rig->count(StoreKind::Outbox) == 0; }));
  EXPECT_EQ(commandsStartingWith("AT+CMGS=").size(), 2u);
}

TEST_F(ServiceModem, GarbageOnTheLineDoesNotStopTheConnection) {
  script();
  rig->start();
  modem.send(std::string("\x00\xff\xfe garbage \r\n+CMT: ,99\r\nNOT A PDU\r\n\x1b[0m\r\n", 42));
  ASSERT_TRUE(rig->connect());
  modem.send("\r\n+CMTI: \"SM\",\r\n\r\n+CDS: 25\r\n00112\r\n");
  rig->submit(SMSMessage(u"", u"+4917012345", u"still works"));
  ASSERT_TRUE(eventually([&] { return rig->count(StoreKind::Sent) == 1; }));
  EXPECT_EQ(rig->count(StoreKind::Inbox), 0u);
}

TEST_F(ServiceModem, PortErrorsTellTheUserWhatToDo) {
  script();
  AsyncSerialComm holder(rig->settings);  // another program on the port
  ASSERT_TRUE(holder.open(fromUtf8(modem.portPath())));
  struct Case {
    std::string port;
    std::string message;
  };
  const Case cases[] = {
      {"", "The COM port is not set. Please setup COM port before connection!"},
      {"/nonexistent/ttyQ9",
       "The port '/nonexistent/ttyQ9' can't be opened.\nPlease check the serial connection."},
      {modem.portPath(), "ModemManager"},
  };
  rig->start();
  std::size_t errors = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    rig->settings.setString("modem.port", fromUtf8(c.port));
    rig->service->requestConnect();
    ASSERT_TRUE(rig->window.waitForState(ConnectionState::Error, ++errors));
    ASSERT_TRUE(rig->window.waitForBalloon("Serial port: " + c.port));
    const std::string text = rig->window.balloonsTitled("Serial port: " + c.port)[0].second;
    EXPECT_NE(text.find(c.message), std::string::npos) << text;
    EXPECT_EQ(rig->channel->getStatus(), ChannelStatus::Error);
  }
  holder.close();
}

}  // namespace
}  // namespace parlane::test
