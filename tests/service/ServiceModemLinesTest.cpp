// The gateway on a pseudo-terminal modem that says what real sticks say: lines that answer no
// command in the middle of the initialization, USSD replies in every coding and over several
// lines, senders with international numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "core/util/Utf.h"
#include "engine/ModemInitializer.h"
#include "gsm/HexOctets.h"
#include "gsm/PduDecoder.h"
#include "message/StatusReport.h"
#include "message/USSDRequest.h"
#include "service/ServiceRig.h"
#include "support/InitializationReplies.h"
#include "support/ScriptedModem.h"

namespace parlane::test {
namespace {

using Strings = std::vector<std::string>;

// A delivery report for reference 42 to +4915212345678 (international), status 0 (delivered).
constexpr char kReportPdu[] =
    "0791447758100650062A0D91945112325476F8622190010000406221900100504000";
constexpr char kProblems[] = "Connected, but some problems found";
constexpr char kUssdReply[] = "Got reply to USSD command";
constexpr char kUssdError[] = "Error sending USSD!";

// Echo on, the probes decide the modes, each read message deleted. Tests add their own rules,
// then call script() for the rest: the answers of a plain modem and "OK" for anything else.
class ModemLines : public ::testing::Test {
 protected:
  ModemLines() {
    modem.setEcho(true);
    rig = std::make_unique<ServiceRig>(ServiceRig::Options{modem.portPath(), &clock});
    rig->settings.setInt("modem.use_features", 1);
    rig->settings.setInt("sender.read_mode", 3);
    rig->settings.setInt("sender.delete_mode", 1);
  }
  ~ModemLines() override { rig.reset(); }

  void script() {
    answerInitialization(modem);
    modem.onPrefix("", "\r\nOK\r\n");
  }
  bool waitForCommand(const std::string& command) {
    return eventually([&] {
      const Strings all = modem.commands();
      return std::find(all.begin(), all.end(), command) != all.end();
    });
  }
  // Where `command` stands among the commands the modem got; the count when it is not there.
  std::size_t positionOf(const std::string& command) const {
    const Strings all = modem.commands();
    return static_cast<std::size_t>(std::find(all.begin(), all.end(), command) - all.begin());
  }

  ScriptedModem modem;
  ManualClock clock{1'000'000};
  std::unique_ptr<ServiceRig> rig;
};

// A probe whose answer carries lines that answer no command, and a notice among them that must
// still be read, once the initialization has ended.
struct StrayLineCase {
  const char* name;
  const char* command;
  const char* reply;
  const char* read;  // the read the notice in the reply asks for; empty: none
};

void PrintTo(const StrayLineCase& c, std::ostream* os) { *os << c.name; }

class ModemStrayLines : public ModemLines, public ::testing::WithParamInterface<StrayLineCase> {};

TEST_P(ModemStrayLines, SpoilNoProbeAndNoticesAreReadAfterTheInitialization) {
  const StrayLineCase& c = GetParam();
  modem.on(c.command, c.reply);
  modem.on("AT+CMGR=3",
           "\r\n+CMGR: 0,,30\r\n" + deliverHex("4917012345", "announced early") + "\r\n\r\nOK\r\n");
  modem.on("AT+CMGR=4", "\r\n+CMGR: 0,,25\r\n" + std::string(kReportPdu) + "\r\n\r\nOK\r\n");
  script();
  rig->start();
  ASSERT_TRUE(rig->connect());
  EXPECT_TRUE(rig->window.balloonsTitled(kProblems).empty()) << rig->log.text();
  EXPECT_EQ(rig->settings.getInt("sender.read_mode"), 0) << "Notify (index)";
  EXPECT_LT(positionOf("AT+CNMI=2,1,0,1,0"), modem.commands().size());
  EXPECT_EQ(toUtf8(rig->service->initializer().model()), "MC35i");
  EXPECT_EQ(rig->service->initializer().signalPercent(), 93u);
  if (*c.read == '\0') return;
  ASSERT_TRUE(waitForCommand(c.read)) << rig->log.text();
  EXPECT_GT(positionOf(c.read), positionOf("AT+CMGF=0")) << "read in the middle of the series";
  if (std::string(c.read) == "AT+CMGR=3") {
    ASSERT_TRUE(eventually([&] { return rig->count(StoreKind::Inbox) == 1; }));
    EXPECT_EQ(rig->field(rig->records(StoreKind::Inbox)[0], StoreKind::Inbox, u"content"),
              u"announced early");
  }
}

INSTANTIATE_TEST_SUITE_P(
    , ModemStrayLines,
    ::testing::Values(
        StrayLineCase{"RingInTheIndicationProbe", "AT+CNMI=?",
                      "\r\nRING\r\n\r\n+CNMI: (0-3),(0-3),(0,2,3),(0-1),(0)\r\n\r\nOK\r\n", ""},
        StrayLineCase{
            "RegistrationAndVendorSignalInTheIndicationProbe", "AT+CNMI=?",
            "\r\n+CREG: 1\r\n^RSSI:5\r\n+CNMI: (0-3),(0-3),(0,2,3),(0-1),(0)\r\n\r\nOK\r\n", ""},
        StrayLineCase{"RingInTheStorageQuery", "AT+CPMS?",
                      "\r\n+CPMS: \"SM\",0,20,\"SM\",0,20,\"SM\",0,20\r\n\r\nRING\r\n\r\nOK\r\n",
                      ""},
        StrayLineCase{"BootLineAfterTheModel", "AT+CGMM",
                      "\r\nMC35i\r\n^BOOT:10761200,0,0,0,75\r\n\r\nOK\r\n", ""},
        StrayLineCase{"VendorSignalAfterTheSignal", "AT+CSQ",
                      "\r\n+CSQ: 31,99\r\n^RSSI:12\r\n\r\nOK\r\n", ""},
        StrayLineCase{"NewMessageInTheDeleteProbe", "AT+CMGD=?",
                      "\r\n+CMGD: (1-20),(0-4)\r\n\r\n+CMTI: \"SM\",3\r\n\r\nOK\r\n", "AT+CMGR=3"},
        StrayLineCase{"ReportNoticeAndRingInTheUssdProbe", "AT+CUSD=?",
                      "\r\n+CDSI: \"SM\",4\r\nRING\r\n+CUSD: (0,1)\r\n\r\nOK\r\n", "AT+CMGR=4"}),
    [](const ::testing::TestParamInfo<StrayLineCase>& info) { return info.param.name; });

// A USSD reply as the network sends it after "AT+CUSD=", and what the user is shown.
struct UssdCase {
  const char* name;
  const char* reply;
  const char* title;
  const char* shown;
};

void PrintTo(const UssdCase& c, std::ostream* os) { *os << c.name; }

class ModemUssdReplies : public ModemLines, public ::testing::WithParamInterface<UssdCase> {};

TEST_P(ModemUssdReplies, AreShownWholeAndDecodedByTheirScheme) {
  const UssdCase& c = GetParam();
  modem.on("AT+CUSD=1,\"*100#\",15", std::string("\r\nOK\r\n\r\n") + c.reply + "\r\n");
  script();
  rig->start();
  ASSERT_TRUE(rig->connect());
  rig->sender->enqueue(std::make_unique<USSDRequest>(u"", u"", u"*100#"));
  ASSERT_TRUE(rig->window.waitForBalloon(c.title)) << rig->log.text();
  const auto balloons = rig->window.balloonsTitled(c.title);
  ASSERT_EQ(balloons.size(), 1u);
  EXPECT_EQ(balloons[0].second, c.shown);
  // Whatever comes next is still read as it should be.
  rig->sender->enqueue(std::make_unique<ATCommandMessage>(u"AT\r\n"));
  ASSERT_TRUE(waitForCommand("AT"));
  EXPECT_TRUE(rig->window.balloonsTitled(kProblems).empty());
}

INSTANTIATE_TEST_SUITE_P(
    , ModemUssdReplies,
    ::testing::Values(
        UssdCase{"MenuOfSeveralLines", "+CUSD: 1,\"1 Balance\r\n2 Bundles\r\n3 Exit\",15",
                 kUssdReply, "1 Balance\n2 Bundles\n3 Exit"},
        UssdCase{"HexadecimalUcs2", "+CUSD: 0,\"04110430043B0430043D0441\",72", kUssdReply,
                 "Баланс"},
        UssdCase{"HexadecimalUcs2AfterItsLanguage", "+CUSD: 0,\"653704110430043B\",17", kUssdReply,
                 "Бал"},
        UssdCase{"PackedSevenBitAsHuaweiSticksSendIt",
                 "+CUSD: 0,\"C2303BEC1E9775A09A0B060315AB52\",15", kUssdReply, "Balance: 5.00 EUR"},
        UssdCase{"PlainDigits", "+CUSD: 0,\"1234\",15", kUssdReply, "1234"},
        UssdCase{"EndedByTheNetwork", "+CUSD: 2", kUssdReply, "The network ended the USSD session"},
        UssdCase{"NotSupported", "+CUSD: 4", kUssdError,
                 "The network does not support this USSD request"},
        UssdCase{"TimedOut", "+CUSD: 5", kUssdError, "The USSD request timed out in the network"}),
    [](const ::testing::TestParamInfo<UssdCase>& info) { return info.param.name; });

// A received message or report from an international number, and what the gateway makes of it.
struct NumberCase {
  const char* name;
  std::function<void(ServiceRig&)> before;  // folders as an earlier run left them
  const char* notice;
  const char* deleted;        // the delete that ends the handling
  const char16_t* inboxFrom;  // the one inbox record's sender; null: the inbox stays empty
  bool shown;                 // on the main screen as a new message
  const char* balloonTitle;
  const char* balloonText;
};

void PrintTo(const NumberCase& c, std::ostream* os) { *os << c.name; }

// The time a message of deliverHex's stamp is stored with.
MessageTime deliveredAt() {
  return decodeDeliverPdu(*hexToOctets(deliverHex("4917012345", "kept")), PduDecoderOptions{})
      ->time;
}

class ModemNumbers : public ModemLines, public ::testing::WithParamInterface<NumberCase> {};

TEST_P(ModemNumbers, InternationalSendersKeepTheirPlus) {
  const NumberCase& c = GetParam();
  rig->settings.setInt("modem.use_features", 0);
  rig->settings.setInt("sender.read_mode", 0);
  c.before(*rig);
  modem.on("AT+CMGR=3",
           "\r\n+CMGR: 0,,30\r\n" + deliverHex("4917012345", "kept") + "\r\n\r\nOK\r\n");
  modem.on("AT+CMGR=4", "\r\n+CMGR: 0,,25\r\n" + std::string(kReportPdu) + "\r\n\r\nOK\r\n");
  script();
  rig->start();
  ASSERT_TRUE(rig->connect());
  modem.send(c.notice);
  ASSERT_TRUE(waitForCommand(c.deleted)) << rig->log.text();
  if (*c.balloonTitle != '\0') {
    ASSERT_TRUE(rig->window.waitForBalloon(c.balloonTitle)) << rig->log.text();
    EXPECT_EQ(rig->window.balloonsTitled(c.balloonTitle)[0].second, c.balloonText);
  }
  // The delete comes once the inbox has been saved.
  if (c.inboxFrom == nullptr) {
    EXPECT_EQ(rig->count(StoreKind::Inbox), 0u);
  } else {
    ASSERT_EQ(rig->count(StoreKind::Inbox), 1u);
    EXPECT_EQ(rig->field(rig->records(StoreKind::Inbox)[0], StoreKind::Inbox, u"from"),
              c.inboxFrom);
  }
  if (c.shown) {
    ASSERT_TRUE(eventually([&] { return rig->window.received().size() == 1; }));
    EXPECT_EQ(rig->window.received()[0].from, c.inboxFrom);
  } else {
    EXPECT_TRUE(rig->window.received().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    , ModemNumbers,
    ::testing::Values(NumberCase{"NewMessage", [](ServiceRig&) {}, "\r\n+CMTI: \"SM\",3\r\n",
                                 "AT+CMGD=3", u"+4917012345", true, "Got SMS from +4917012345",
                                 "kept"},
                      NumberCase{"InboxOfAnEarlierVersion",
                                 [](ServiceRig& rig) {
                                   rig.settings.setInt("discard_duplicated", 1);
                                   SMSMessage earlier(u"4917012345", u"", u"kept");
                                   earlier.created = earlier.timestamp = deliveredAt();
                                   rig.stores->inbox().put(incomingRecord(
                                       earlier, false, rig.stores->inbox().newIdText()));
                                   rig.stores->inbox().save();
                                 },
                                 "\r\n+CMTI: \"SM\",3\r\n", "AT+CMGD=3", u"4917012345", false, "",
                                 ""},
                      NumberCase{"DeliveryReport",
                                 [](ServiceRig& rig) {
                                   SMSMessage sent(u"", u"+4915212345678", u"report me");
                                   sent.refid = 42;
                                   sent.flags = 4;
                                   rig.stores->sent().put(outgoingRecord(
                                       sent, StoreKind::Sent, rig.stores->sent().newIdText()));
                                   rig.stores->sent().save();
                                 },
                                 "\r\n+CDSI: \"SM\",4\r\n", "AT+CMGD=4", nullptr, false,
                                 "Delivery report received",
                                 "SMS sent to +4915212345678 was delivered successfully"}),
    [](const ::testing::TestParamInfo<NumberCase>& info) { return info.param.name; });

}  // namespace
}  // namespace parlane::test
