#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "core/settings/SettingsStore.h"
#include "engine/ModemInitializer.h"
#include "engine/ReceiverTestSupport.h"

namespace parlane {
namespace {

using test::parseReplies;
using Balloons = std::vector<std::pair<std::string, std::string>>;

constexpr std::uint32_t kAllChecks = 0x7FFF;
constexpr char kProblems[] = "Connected, but some problems found";

// The emulator's answers: what a modem offering PDU and text mode, +CMTI and a SIM of 20 slots
// says.
std::map<std::string, std::string> emulatorReplies() {
  return {
      {"AT+CSMS=?\r\n", "+CSMS: (0,1,128)\r\nOK\r\n"},
      {"AT+CMGF=?\r\n", "+CMGF: (0-1)\r\nOK\r\n"},
      {"AT+CNMI=?\r\n", "+CNMI: (0-3),(0-3),(0,2,3),(0-1),(0)\r\nOK\r\n"},
      {"AT+CMEE=?\r\n", "+CMEE: (0-2)\r\nOK\r\n"},
      {"AT+CMGD=?\r\n", "+CMGD: (1-20)\r\nOK\r\n"},
      {"AT+CPMS?\r\n", "+CPMS: \"SM\",0,20,\"SM\",0,20,\"SM\",0,20\r\nOK\r\n"},
      {"AT+CUSD=?\r\n", "+CUSD: (0)\r\nOK\r\n"},
      {"AT+CGMM\r\n", "Emulator\r\nOK\r\n"},
      {"AT+CSQ\r\n", "+CSQ: 31,0\r\nOK\r\n"},
  };
}

// Plays a modem that answers from a table ("OK" for anything else) against the initializer,
// feeding each reply event to step() as the connection manager does.
class InitializerSteps : public ::testing::Test {
 protected:
  InitializerSteps() { settings.setString("modem.init", u"ATZ"); }

  void run(int useFeatures, std::uint32_t checks) {
    init.reset(useFeatures, checks);
    init.step(AsyncEvent(AsyncEvent::kOk, 0, u"OK", "OK"));
    for (int guard = 0; guard < 64 && !init.isFinished(); ++guard) {
      ASSERT_EQ(queue.waiting(), 1u) << "one command at a time";
      const std::string command = queue.take();
      sent.push_back(command);
      const auto found = replies.find(command);
      const std::string reply = found == replies.end() ? "OK\r\n" : found->second;
      for (const auto& event : parseReplies(reply)) {
        if (init.step(*event)) break;
      }
    }
    ASSERT_TRUE(init.isFinished());
    EXPECT_EQ(queue.waiting(), 0u);
  }

  Balloons problemBalloons() const {
    Balloons found;
    for (const auto& b : notifier.balloons()) {
      if (b.first == kProblems) found.push_back(b);
    }
    return found;
  }

  SettingsStore settings;
  test::RecordingCommandQueue queue;
  test::RecordingNotifier notifier;
  ModemInitializer init{queue, settings, &notifier};
  std::map<std::string, std::string> replies = emulatorReplies();
  std::vector<std::string> sent;
};

TEST_F(InitializerSteps, EmulatorWithFeaturesSetsModesAndFullIndicationCommand) {
  settings.setInt("sender.read_mode", 2);
  settings.setInt("sender.send_mode", 1);
  run(1, kAllChecks);

  const std::vector<std::string> expected = {
      "ATZ\r\n",       "AT+CMEE=?\r\n",         "AT+CMEE=1\r\n", "AT+CSMS=?\r\n", "AT+CMGF=?\r\n",
      "AT+CNMI=?\r\n", "AT+CMGD=?\r\n",         "AT+CPMS?\r\n",  "AT+CUSD=?\r\n", "AT+CGMM\r\n",
      "AT+CSQ\r\n",    "AT+CNMI=2,1,0,1,0\r\n", "AT+CMGF=0\r\n"};
  EXPECT_EQ(sent, expected);
  EXPECT_EQ(init.features(),
            0x380u | 0x3 | 0xC | 0x10 | 0x60 | 0x10000 | 0x40000 | 0x4000 | 0x80000 | 0x1000);
  EXPECT_EQ(toUtf8(init.model()), "Emulator");
  EXPECT_EQ(init.signalPercent(), 93u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(toUtf8(init.memoryName(i)), "SM");
  EXPECT_EQ(settings.getInt("sender.read_mode"), 0);
  EXPECT_EQ(settings.getInt("sender.send_mode"), 0);
  EXPECT_FALSE(init.problemsFound());
  EXPECT_EQ(init.failedChecks(), 0u);
  EXPECT_TRUE(notifier.balloons().empty());
}

TEST_F(InitializerSteps, NoChecksNoFeaturesSendsOnlyTheFixedList) {
  settings.setInt("modem.use_pin", 1);
  settings.setString("modem.pin", u"1234");
  settings.setInt("sender.read_mode", 1);
  settings.setInt("sender.send_mode", 1);
  settings.setString("smsc.address", u"+491710760000");
  settings.setString("modem.custom_init.0", u"AT+CSCS=\"GSM\"");
  run(0, 0);

  const std::vector<std::string> expected = {"ATZ\r\n",
                                             "AT+CPIN=1234\r\n",
                                             "AT+CMEE=1\r\n",
                                             "AT+CPMS?\r\n",
                                             "AT+CNMI=2,2\r\n",
                                             "AT+CMGF=1\r\n",
                                             "AT+CSCA=\"+491710760000\"\r\n",
                                             "AT+CSCS=\"GSM\"\r\n"};
  EXPECT_EQ(sent, expected);
  EXPECT_EQ(init.features(), 0x3u | 0xC | 0x70 | 0x380 | 0xC00 | 0x3000);
  EXPECT_EQ(settings.getInt("sender.read_mode"), 1) << "not written without use_features";
  EXPECT_FALSE(init.problemsFound());
}

TEST_F(InitializerSteps, DisabledErrorProbeWithFeaturesLeavesErrorModeUnset) {
  // The error-report features are assumed only when "AT+CNMI=?" is queued, after step 3 chose.
  run(1, kAllChecks & ~ModemInitializer::kCheckCmee);
  EXPECT_EQ(std::count(sent.begin(), sent.end(), "AT+CMEE=1\r\n"), 0);
  EXPECT_EQ(std::count(sent.begin(), sent.end(), "AT+CMEE=?\r\n"), 0);
  EXPECT_EQ(init.features() & 0x380u, 0x380u);
}

TEST_F(InitializerSteps, ErrorModeOnlyWhereNumericReportsAreOffered) {
  replies["AT+CMEE=?\r\n"] = "+CMEE: (0,2)\r\nOK\r\n";
  run(1, kAllChecks);
  EXPECT_EQ(std::count(sent.begin(), sent.end(), "AT+CMEE=1\r\n"), 0);
}

struct QueryErrorCase {
  const char* name;
  const char* command;
  const char* reply;
  const char* balloon;  // empty: no problem reported
};

void PrintTo(const QueryErrorCase& c, std::ostream* os) { *os << c.name; }

class InitializerQueryErrors : public InitializerSteps,
                               public ::testing::WithParamInterface<QueryErrorCase> {};

TEST_P(InitializerQueryErrors, HarmlessAnswersAreNotCounted) {
  replies[GetParam().command] = GetParam().reply;
  run(1, kAllChecks);
  const std::string expected = GetParam().balloon;
  if (expected.empty()) {
    EXPECT_TRUE(problemBalloons().empty());
    EXPECT_FALSE(init.problemsFound());
    EXPECT_EQ(init.problemCount(), 0);
  } else {
    EXPECT_EQ(problemBalloons(), (Balloons{{kProblems, expected}}));
    EXPECT_TRUE(init.problemsFound());
    EXPECT_EQ(init.problemCount(), 1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    , InitializerQueryErrors,
    ::testing::Values(
        QueryErrorCase{"DeleteProbeSimBusy", "AT+CMGD=?\r\n", "+CME ERROR: SM BL not ready\r\n",
                       ""},
        QueryErrorCase{"DeleteProbePlainError", "AT+CMGD=?\r\n", "ERROR\r\n", ""},
        QueryErrorCase{"DeleteProbeNotAllowed", "AT+CMGD=?\r\n", "+CMS ERROR: 302\r\n",
                       "While getting deleting support (AT+CMGD): Operation not allowed. "},
        QueryErrorCase{"MemoryQuerySimBusy", "AT+CPMS?\r\n", "+CME ERROR: SM BL not ready\r\n", ""},
        QueryErrorCase{"MemoryQueryPlainError", "AT+CPMS?\r\n", "ERROR\r\n", ""},
        QueryErrorCase{"MemoryQueryEightFields", "AT+CPMS?\r\n",
                       "+CPMS: \"SM\",0,20,\"SM\",0,20,\"SM\",0\r\nOK\r\n",
                       "While getting modem memory types (AT+CPMS): Invalid modem reply (see log "
                       "for details). "},
        QueryErrorCase{"UssdProbeSimNotInserted", "AT+CUSD=?\r\n", "+CME ERROR: 10\r\n",
                       "While getting USSD support (AT+CUSD):SIM not inserted. "},
        QueryErrorCase{"UssdProbeEmpty", "AT+CUSD=?\r\n", "+CUSD:\r\nOK\r\n", ""},
        QueryErrorCase{"SmsProbeEmpty", "AT+CSMS=?\r\n", "+CSMS:\r\nOK\r\n",
                       "While getting SMS support (AT+CSMS): Invalid modem reply (see log for "
                       "details). "},
        QueryErrorCase{"ModelQueryError", "AT+CGMM\r\n", "ERROR\r\n",
                       "While getting modem model (AT+CGMM): ERROR. "}),
    [](const auto& info) { return std::string(info.param.name); });

// A full memory takes no further message: the user is told which one.
struct MemoryFullCase {
  const char* name;
  const char* reply;
  Balloons expected;
};

void PrintTo(const MemoryFullCase& c, std::ostream* os) { *os << c.name; }

class InitializerMemoryFull : public InitializerSteps,
                              public ::testing::WithParamInterface<MemoryFullCase> {};

TEST_P(InitializerMemoryFull, NamesTheFullMemory) {
  replies["AT+CPMS?\r\n"] = GetParam().reply;
  run(1, kAllChecks);
  Balloons full;
  for (const auto& b : notifier.balloons()) {
    if (b.first == "Modem memory full") full.push_back(b);
  }
  EXPECT_EQ(full, GetParam().expected);
  EXPECT_EQ(init.problemCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    , InitializerMemoryFull,
    ::testing::Values(
        MemoryFullCase{"NotFull", "+CPMS: \"SM\",19,20,\"SM\",19,20,\"SM\",19,20\r\nOK\r\n", {}},
        MemoryFullCase{"SameMemoryNamedOnce",
                       "+CPMS: \"SM\",20,20,\"SM\",20,20,\"SM\",20,20\r\nOK\r\n",
                       {{"Modem memory full",
                         "The modem memory \"SM\" is full (20 of 20 used): no further message can "
                         "arrive until it is emptied"}}},
        MemoryFullCase{"ReportMemory",
                       "+CPMS: \"SM\",3,20,\"SR\",10,10,\"SM\",3,20\r\nOK\r\n",
                       {{"Modem memory full",
                         "The modem memory \"SR\" is full (10 of 10 used): no further message can "
                         "arrive until it is emptied"}}},
        MemoryFullCase{"NoSlotsAtAll", "+CPMS: \"SM\",0,0,\"SM\",0,0,\"SM\",0,0\r\nOK\r\n", {}}),
    [](const ::testing::TestParamInfo<MemoryFullCase>& info) { return info.param.name; });

TEST_F(InitializerSteps, StorageWithEightFieldsFailsAndKeepsNoNames) {
  replies["AT+CPMS?\r\n"] = "+CPMS: \"SM\",0,20,\"SM\",0,20,\"SM\",0\r\nOK\r\n";
  run(1, kAllChecks);
  EXPECT_EQ(init.failedChecks(), ModemInitializer::kCheckCpms);
  EXPECT_TRUE(init.memoryName(0).empty());
}

TEST_F(InitializerSteps, SevenProbeFailuresAddConnectionFailedAfterTheReports) {
  for (const char* c : {"AT+CMEE=?\r\n", "AT+CSMS=?\r\n", "AT+CMGF=?\r\n", "AT+CNMI=?\r\n",
                        "AT+CUSD=?\r\n", "AT+CGMM\r\n", "AT+CSQ\r\n"}) {
    replies[c] = "+CME ERROR: 10\r\n";
  }
  run(1, kAllChecks);
  EXPECT_EQ(init.problemCount(), 7);
  const Balloons balloons = notifier.balloons();
  ASSERT_EQ(balloons.size(), 8u);
  EXPECT_EQ(balloons.back().first, "Connection failed");
  EXPECT_EQ(balloons.back().second,
            "The connection with the modem can't be established. Please read help or contact the "
            "technical support.");
  EXPECT_EQ(settings.getInt("sender.read_mode"), 3) << "indication probe failed: Ignore";
}

TEST_F(InitializerSteps, SixProbeFailuresAreOnlyReported) {
  for (const char* c : {"AT+CMEE=?\r\n", "AT+CSMS=?\r\n", "AT+CMGF=?\r\n", "AT+CNMI=?\r\n",
                        "AT+CUSD=?\r\n", "AT+CGMM\r\n"}) {
    replies[c] = "ERROR\r\n";
  }
  run(1, kAllChecks);
  EXPECT_EQ(init.problemCount(), 6);
  EXPECT_EQ(problemBalloons().size(), notifier.balloons().size());
}

TEST_F(InitializerSteps, SettingFailuresAreShownButNotCounted) {
  replies["AT+CMEE=1\r\n"] = "ERROR\r\n";
  replies["AT+CMGF=0\r\n"] = "+CMS ERROR: 302\r\n";
  replies["AT+CSCA=\"+4917\"\r\n"] = "ERROR\r\n";
  settings.setString("smsc.address", u"+4917 / Operator");
  run(1, kAllChecks);
  EXPECT_EQ(problemBalloons(),
            (Balloons{{kProblems, "While setting error mode (AT+CMEE): ERROR. "},
                      {kProblems, "While setting sending mode (AT+CMGF): Operation not allowed. "},
                      {kProblems, "While setting SMSC address (AT+CSCA): ERROR. "}}));
  EXPECT_TRUE(init.problemsFound());
  EXPECT_EQ(init.problemCount(), 0);
}

TEST_F(InitializerSteps, PinFailureIsShownWithoutFlaggingProblems) {
  settings.setInt("modem.use_pin", 1);
  settings.setString("modem.pin", u"0000");
  replies["AT+CPIN=0000\r\n"] = "+CME ERROR: 11\r\n";
  run(1, kAllChecks);
  EXPECT_EQ(problemBalloons(),
            (Balloons{{kProblems, "While entering PIN code: SIM PIN required"}}));
  EXPECT_FALSE(init.problemsFound());
}

TEST_F(InitializerSteps, CustomCommandsRunInOrderUntilTheFirstEmptyOne) {
  settings.setString("modem.custom_init.0", u"AT+CSCS=\"GSM\"");
  settings.setString("modem.custom_init.1", u"AT^CURC=0");
  settings.setString("modem.custom_init.3", u"AT+NEVER");
  replies["AT^CURC=0\r\n"] = "ERROR\r\n";
  run(1, kAllChecks);
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[sent.size() - 2], "AT+CSCS=\"GSM\"\r\n");
  EXPECT_EQ(sent.back(), "AT^CURC=0\r\n");
  EXPECT_FALSE(init.problemsFound());
}

TEST_F(InitializerSteps, NoFirstCustomCommandMeansNone) {
  settings.setString("modem.custom_init.1", u"AT+NEVER");
  run(1, kAllChecks);
  EXPECT_EQ(sent.back(), "AT+CMGF=0\r\n");
}

TEST_F(InitializerSteps, ShortIndicationCommandWithoutBufferModes) {
  replies["AT+CNMI=?\r\n"] = "+CNMI: (0-3),(0-3),(0,2,3),(0-1)\r\nOK\r\n";
  run(1, kAllChecks);
  EXPECT_EQ(std::count(sent.begin(), sent.end(), "AT+CNMI=2,1\r\n"), 1);
}

struct CallerIdCase {
  const char* name;
  int handle;
  const char* reply;
  std::vector<std::string> last;  // the commands at the end of the series
  bool problems;
};

class InitializerCallerId : public InitializerSteps,
                            public testing::WithParamInterface<CallerIdCase> {};

TEST_P(InitializerCallerId, AsksForCallerNumbersOnlyWhenCallsAreHandled) {
  settings.setInt("calls.handle", GetParam().handle);
  settings.setString("smsc.address", u"+491710760000");
  settings.setString("modem.custom_init.0", u"AT+CSCS=\"GSM\"");
  replies["AT+CLIP=1\r\n"] = GetParam().reply;
  run(1, kAllChecks);
  ASSERT_GE(sent.size(), GetParam().last.size());
  EXPECT_EQ(
      std::vector<std::string>(sent.end() - static_cast<long>(GetParam().last.size()), sent.end()),
      GetParam().last);
  EXPECT_EQ(std::count(sent.begin(), sent.end(), "AT+CLIP=1\r\n"), GetParam().handle == 1);
  EXPECT_EQ(init.problemsFound(), GetParam().problems);
  EXPECT_EQ(problemBalloons().size(), GetParam().problems ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Calls, InitializerCallerId,
                         testing::Values(CallerIdCase{"HandledAfterTheServiceCentre",
                                                      1,
                                                      "OK\r\n",
                                                      {"AT+CSCA=\"+491710760000\"\r\n",
                                                       "AT+CLIP=1\r\n", "AT+CSCS=\"GSM\"\r\n"},
                                                      false},
                                         CallerIdCase{"NotHandledNotAsked",
                                                      0,
                                                      "OK\r\n",
                                                      {"AT+CSCA=\"+491710760000\"\r\n",
                                                       "AT+CSCS=\"GSM\"\r\n"},
                                                      false},
                                         CallerIdCase{"RefusedIsShownAndTheSeriesGoesOn",
                                                      1,
                                                      "+CME ERROR: 3\r\n",
                                                      {"AT+CLIP=1\r\n", "AT+CSCS=\"GSM\"\r\n"},
                                                      true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(InitializerSteps, SignalUnknownGivesZero) {
  replies["AT+CSQ\r\n"] = "+CSQ: 99,99\r\nOK\r\n";
  run(1, kAllChecks);
  EXPECT_EQ(init.signalPercent(), 0u);
}

TEST_F(InitializerSteps, ServiceCentreIsCutBeforeTheOperatorName) {
  settings.setString("smsc.address", u"+491710760000/Operator");
  run(1, kAllChecks);
  EXPECT_EQ(std::count(sent.begin(), sent.end(), "AT+CSCA=\"+491710760000\"\r\n"), 1);
}

TEST_F(InitializerSteps, ServiceCentreCannotEndItsArgumentEarly) {
  settings.setString("smsc.address", u"+4917\"\r\nAT+CMGD=1,4");
  run(1, kAllChecks);
  EXPECT_EQ(std::count(sent.begin(), sent.end(), "AT+CSCA=\"+4917AT+CMGD=1,4\"\r\n"), 1);
}

TEST_F(InitializerSteps, AnEmptyServiceCentreIsNeverWritten) {
  settings.setString("smsc.address", u" /Operator");
  run(1, kAllChecks);
  for (const auto& c : sent) EXPECT_NE(c.rfind("AT+CSCA", 0), 0u) << c;
}

TEST_F(InitializerSteps, LinesBeforeTheFinalResultKeepRepliesPaired) {
  // An echo and a banner after the initialization string, "+CPIN: READY" after the PIN: none of
  // them may end a step, or every later reply would answer the wrong command.
  settings.setInt("modem.use_pin", 1);
  settings.setString("modem.pin", u"1234");
  replies["ATZ\r\n"] = "ATZ\r\nModem firmware 1.2\r\nOK\r\n";
  replies["AT+CPIN=1234\r\n"] = "+CPIN: READY\r\nOK\r\n";
  run(1, kAllChecks);
  EXPECT_EQ(sent[2], "AT+CMEE=?\r\n");
  EXPECT_FALSE(init.problemsFound());
  EXPECT_EQ(toUtf8(init.model()), "Emulator");
}

TEST_F(InitializerSteps, LateUssdTestResponseStillCountsAndIsNoModel) {
  // The "+CUSD:" line travels through the receiving thread and may come after the final OK.
  replies["AT+CUSD=?\r\n"] = "OK\r\n";
  replies["AT+CGMM\r\n"] = "+CUSD: (0,1)\r\nEmulator\r\nOK\r\n";
  replies["AT+CSQ\r\n"] = "+CUSD: 2,\"Balance 5\",15\r\n+CSQ: 20,0\r\nOK\r\n";
  run(1, kAllChecks);
  EXPECT_EQ(init.features() & 0x3000u, 0x3000u);
  EXPECT_EQ(toUtf8(init.model()), "Emulator");
  EXPECT_EQ(init.signalPercent(), 60u);
  EXPECT_FALSE(init.problemsFound());
}

// A probe's answer with lines in it that answer no command: a ring, network registrations,
// vendor status lines, start-up banners.
struct StrayLineCase {
  const char* name;
  const char* command;
  const char* reply;
};

void PrintTo(const StrayLineCase& c, std::ostream* os) { *os << c.name; }

class InitializerStrayLines : public InitializerSteps,
                              public ::testing::WithParamInterface<StrayLineCase> {};

TEST_P(InitializerStrayLines, AreSetAsideAndSpoilNoProbe) {
  replies[GetParam().command] = GetParam().reply;
  settings.setInt("sender.read_mode", 3);
  run(1, kAllChecks);
  EXPECT_TRUE(notifier.balloons().empty());
  EXPECT_FALSE(init.problemsFound());
  EXPECT_EQ(init.failedChecks(), 0u);
  EXPECT_EQ(init.features(),
            0x380u | 0x3 | 0xC | 0x10 | 0x60 | 0x10000 | 0x40000 | 0x4000 | 0x80000 | 0x1000);
  EXPECT_EQ(toUtf8(init.model()), "Emulator");
  EXPECT_EQ(init.signalPercent(), 93u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(toUtf8(init.memoryName(i)), "SM");
  EXPECT_EQ(settings.getInt("sender.read_mode"), 0);
  EXPECT_EQ(std::count(sent.begin(), sent.end(), "AT+CNMI=2,1,0,1,0\r\n"), 1);
}

INSTANTIATE_TEST_SUITE_P(
    , InitializerStrayLines,
    ::testing::Values(
        StrayLineCase{"RingInTheIndicationProbe", "AT+CNMI=?\r\n",
                      "RING\r\n+CNMI: (0-3),(0-3),(0,2,3),(0-1),(0)\r\nOK\r\n"},
        StrayLineCase{"RegistrationAroundTheIndicationProbe", "AT+CNMI=?\r\n",
                      "+CREG: 1\r\n+CNMI: (0-3),(0-3),(0,2,3),(0-1),(0)\r\n+CGREG: 1\r\nOK\r\n"},
        StrayLineCase{"VendorSignalInTheIndicationProbe", "AT+CNMI=?\r\n",
                      "^RSSI:5\r\n+CNMI: (0-3),(0-3),(0,2,3),(0-1),(0)\r\nOK\r\n"},
        StrayLineCase{"RingInTheStorageQuery", "AT+CPMS?\r\n",
                      "+CPMS: \"SM\",0,20,\"SM\",0,20,\"SM\",0,20\r\nRING\r\nOK\r\n"},
        StrayLineCase{"BootLineAfterTheModel", "AT+CGMM\r\n",
                      "Emulator\r\n^BOOT:10761200,0,0,0,75\r\nOK\r\n"},
        StrayLineCase{"VendorSignalAfterTheSignal", "AT+CSQ\r\n",
                      "+CSQ: 31,0\r\n^RSSI:12\r\nOK\r\n"},
        StrayLineCase{"StartUpBannersInTheErrorProbe", "AT+CMEE=?\r\n",
                      "RDY\r\nSMS Ready\r\nCall Ready\r\nPB DONE\r\n+CFUN: 1\r\n+CPIN: "
                      "READY\r\n+CMEE: (0-2)\r\nOK\r\n"},
        StrayLineCase{"VendorModeLinesInTheSmsProbe", "AT+CSMS=?\r\n",
                      "^MODE:5,4\r\n^SRVST:2\r\n^SIMST:1\r\n+CSMS: (0,1,128)\r\nOK\r\n"},
        StrayLineCase{"RegistrationInTheModeProbe", "AT+CMGF=?\r\n",
                      "+CEREG: 1\r\n+CMGF: (0-1)\r\nOK\r\n"},
        StrayLineCase{"ZteLinesInTheDeleteProbe", "AT+CMGD=?\r\n",
                      "+ZPASR: \"UMTS\"\r\n+CMGD: (1-20)\r\n+ZUSIMR:2\r\nOK\r\n"}),
    [](const ::testing::TestParamInfo<StrayLineCase>& info) { return info.param.name; });

struct ModeCase {
  const char* name;
  const char* cnmi;  // the indication test response; empty: the probe fails
  const char* cmgd;
  const char* cmgf;
  int readMode;
  int sendMode;
};

void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.name; }

class InitializerModes : public InitializerSteps, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(InitializerModes, ProbeResultsChooseReadAndSendMode) {
  const ModeCase& c = GetParam();
  replies["AT+CNMI=?\r\n"] = *c.cnmi ? std::string("+CNMI: ") + c.cnmi + "\r\nOK\r\n" : "ERROR\r\n";
  replies["AT+CMGD=?\r\n"] =
      *c.cmgd ? std::string("+CMGD: ") + c.cmgd + "\r\nOK\r\n" : "+CMS ERROR: 302\r\n";
  replies["AT+CMGF=?\r\n"] = std::string("+CMGF: ") + c.cmgf + "\r\nOK\r\n";
  settings.setInt("sender.send_mode", 7);
  run(1, kAllChecks);
  EXPECT_EQ(settings.getInt("sender.read_mode"), c.readMode);
  EXPECT_EQ(settings.getInt("sender.send_mode"), c.sendMode);
}

INSTANTIATE_TEST_SUITE_P(
    , InitializerModes,
    ::testing::Values(
        ModeCase{"NoIndicationsIgnore", "", "(1-20),(0-4)", "(0-1)", 3, 0},
        ModeCase{"IndexNotificationsPduOnly", "(2),(1,2)", "(1-20),(0-4)", "(0)", 0, 0},
        ModeCase{"ContentNotificationsTextOnly", "(2),(2)", "(1-20),(0-4)", "(1)", 1, 1},
        ModeCase{"NoNotificationsPoll", "(2),(0)", "(1-20),(0-4)", "(0-1)", 2, 0},
        ModeCase{"DeleteAllOnlyPolls", "(2),(0)", "(1-20),(4)", "(0-1)", 2, 0},
        ModeCase{"NoDeleteFlagsIgnore", "(2),(0)", "(1-20)", "(0-1)", 3, 0},
        ModeCase{"DeleteProbeFailsIgnore", "(2),(0)", "", "(0-1)", 3, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(InitializerSteps, ResetForgetsThePreviousRun) {
  replies["AT+CGMM\r\n"] = "ERROR\r\n";
  run(1, kAllChecks);
  ASSERT_TRUE(init.problemsFound());
  replies = emulatorReplies();
  sent.clear();
  run(1, kAllChecks);
  EXPECT_FALSE(init.problemsFound());
  EXPECT_EQ(init.failedChecks(), 0u);
  EXPECT_EQ(toUtf8(init.model()), "Emulator");
}

}  // namespace
}  // namespace parlane
