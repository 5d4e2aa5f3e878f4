// Incoming calls on a pseudo-terminal modem: each call is announced once however often it rings,
// and hung up behind whatever the modem is doing.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/util/Utf.h"
#include "service/ServiceRig.h"
#include "support/InitializationReplies.h"
#include "support/ScriptedModem.h"

namespace parlane::test {
namespace {

using Strings = std::vector<std::string>;

constexpr char kUssdTitle[] = "Got reply to USSD command";
constexpr char kCaller[] = "\r\nRING\r\n\r\n+CLIP: \"+4915112345678\",145,,,,0\r\n";

class IncomingCallsOnModem : public ::testing::Test {
 protected:
  IncomingCallsOnModem() {
    rig = std::make_unique<ServiceRig>(ServiceRig::Options{modem.portPath(), &clock});
    rig->settings.setInt("modem.use_features", 0);
    rig->settings.setInt("sender.read_mode", 0);
    rig->settings.setInt("calls.handle", 1);
  }
  ~IncomingCallsOnModem() override { rig.reset(); }

  void connect() {
    answerInitialization(modem);
    modem.onPrefix("", "\r\nOK\r\n");
    rig->start();
    ASSERT_TRUE(rig->connect()) << rig->log.text();
    // The listing after connecting is over: the gateway is idle when the phone rings.
    ASSERT_TRUE(eventually([&] {
      // Its end is the scheduler's (timer 5), which runs here only when told to.
      clock.advance(1);
      rig->scheduler.runDue();
      return count("AT+CMGL=4") == 1 && rig->service->state().memoryReadingState() == 0;
    })) << rig->log.text();
  }
  // Lets every line the modem sent so far through: a network USSD reply behind them takes the
  // same way (receiver, then the service thread) and shows a balloon once it has arrived.
  void settle() {
    modem.send("\r\n+CUSD: 0,\"mark\",15\r\n");
    ++marks_;
    ASSERT_TRUE(eventually([&] { return rig->window.balloonsTitled(kUssdTitle).size() == marks_; }))
        << rig->log.text();
  }
  std::vector<std::string> callBalloons() const {
    std::vector<std::string> titles;
    for (const auto& [title, text] : rig->window.balloons()) {
      if (title.rfind("Call from ", 0) == 0) titles.push_back(title);
    }
    return titles;
  }
  std::size_t count(const std::string& command) const {
    const Strings all = modem.commands();
    return static_cast<std::size_t>(std::count(all.begin(), all.end(), command));
  }

  ScriptedModem modem;
  ManualClock clock;
  std::unique_ptr<ServiceRig> rig;

 private:
  std::size_t marks_ = 0;
};

// What the modem says between two moves of the clock.
struct Ringing {
  std::int64_t afterMs;
  std::string bytes;
};

struct CallCase {
  const char* name;
  int hangup;
  const char* chupReply;  // null: "OK"
  std::vector<Ringing> rings;
  std::vector<std::string> announced;
  std::size_t chup;
  std::size_t ath;
};

void PrintTo(const CallCase& c, std::ostream* os) { *os << c.name; }

class IncomingCallCases : public IncomingCallsOnModem,
                          public ::testing::WithParamInterface<CallCase> {};

TEST_P(IncomingCallCases, AnnounceEachCallOnceAndHangUpAsTold) {
  const CallCase& c = GetParam();
  rig->settings.setInt("calls.hangup", c.hangup);
  if (c.chupReply != nullptr) modem.on("AT+CHUP", c.chupReply);
  connect();
  // The modem notes a command once it has answered it.
  EXPECT_TRUE(eventually([&] { return count("AT+CLIP=1") == 1; }));
  for (const Ringing& ringing : c.rings) {
    clock.advance(ringing.afterMs);
    modem.send(ringing.bytes);
    settle();
  }
  EXPECT_EQ(callBalloons(), c.announced) << rig->log.text();
  for (const std::string& title : c.announced) EXPECT_TRUE(rig->log.contains(title));
  // The hang-up commands go out behind a command queued after the last ring.
  rig->sender->enqueue(std::make_unique<ATCommandMessage>(u"AT"));
  ASSERT_TRUE(eventually([&] { return count("AT") == 1; })) << rig->log.text();
  EXPECT_EQ(count("AT+CHUP"), c.chup);
  EXPECT_EQ(count("ATH"), c.ath);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, IncomingCallCases,
    ::testing::Values(CallCase{"RingsOfOneCallGiveOneAnnouncement",
                               0,
                               nullptr,
                               {{0, kCaller}, {5000, kCaller}, {5000, kCaller}},
                               {"Call from +4915112345678"},
                               0,
                               0},
                      CallCase{"RingsAfterAQuietSpellAreANewCall",
                               0,
                               nullptr,
                               {{0, kCaller}, {5000, kCaller}, {9000, kCaller}},
                               {"Call from +4915112345678", "Call from +4915112345678"},
                               0,
                               0},
                      CallCase{"HungUpOnce",
                               1,
                               nullptr,
                               {{0, kCaller}, {100, kCaller}},
                               {"Call from +4915112345678"},
                               1,
                               0},
                      CallCase{"RefusedChupFallsBackToAth",
                               1,
                               "\r\n+CME ERROR: 4\r\n",
                               {{0, kCaller}},
                               {"Call from +4915112345678"},
                               1,
                               1},
                      CallCase{"WithheldNumber",
                               0,
                               nullptr,
                               {{0, "\r\nRING\r\n\r\n+CLIP: \"\",128,,,,1\r\n"}},
                               {"Call from an unknown number"},
                               0,
                               0},
                      CallCase{"ModemWithoutCallerLines",
                               0,
                               nullptr,
                               {{0, "\r\nRING\r\n"}, {5000, "\r\n+CRING: VOICE\r\n"}},
                               {"Call from an unknown number"},
                               0,
                               0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IncomingCallsOnModem, CallsAreNotHandledUnlessAskedFor) {
  rig->settings.setInt("calls.handle", 0);
  rig->settings.setInt("calls.hangup", 1);
  connect();
  modem.send(kCaller);
  settle();
  EXPECT_TRUE(callBalloons().empty());
  EXPECT_EQ(count("AT+CLIP=1"), 0u);
  EXPECT_EQ(count("AT+CHUP"), 0u);
  EXPECT_TRUE(rig->log.contains("Received: RING")) << rig->log.text();
}

// The modem rings while a message waits for its prompt: the send completes once, and the hang-up
// follows it.
TEST_F(IncomingCallsOnModem, ARingDuringASendLeavesItWholeAndTheHangUpFollows) {
  rig->settings.setInt("calls.hangup", 1);
  modem.onPrefix("AT+CMGS=", std::string(kCaller) + "\r\n> ");
  modem.onCommand([](const std::string& command, std::string& reply) {
    if (command.size() < 20 || command.rfind("AT", 0) == 0) return false;
    reply = "\r\n+CMGS: 7\r\n\r\nOK\r\n";
    return true;
  });
  connect();
  ASSERT_TRUE(rig->submit(SMSMessage(u"", u"+4917012345", u"ringing")).allTaken());
  ASSERT_TRUE(eventually([&] { return count("AT+CHUP") == 1; })) << rig->log.text();
  ASSERT_TRUE(eventually([&] { return rig->count(StoreKind::Sent) == 1; })) << rig->log.text();

  const Strings commands = modem.commands();
  const auto send = std::find_if(commands.begin(), commands.end(),
                                 [](const std::string& c) { return c.rfind("AT+CMGS=", 0) == 0; });
  const auto hangUp = std::find(commands.begin(), commands.end(), "AT+CHUP");
  ASSERT_NE(send, commands.end());
  // Command, body, then the hang-up.
  EXPECT_EQ(hangUp - send, 2) << ::testing::PrintToString(commands);
  EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                          [](const std::string& c) { return c.rfind("AT+CMGS=", 0) == 0; }),
            1);
  EXPECT_EQ(rig->count(StoreKind::Failed), 0u);
  EXPECT_EQ(callBalloons(), std::vector<std::string>{"Call from +4915112345678"});
  EXPECT_TRUE(rig->log.contains("Call from +4915112345678")) << rig->log.text();
}

}  // namespace
}  // namespace parlane::test
