#include <gtest/gtest.h>

#include <functional>
#include <ostream>

#include "core/settings/SettingsStore.h"
#include "engine/PortDetector.h"
#include "support/ScriptedModem.h"
#include "transport/TtyPort.h"

namespace parlane {
namespace {

using Strings = std::vector<std::string>;

constexpr char kOk[] = "\r\nOK\r\n";
constexpr char kCsms[] = "\r\n+CSMS: (0,1)\r\n\r\nOK\r\n";

ModemPortInfo entry(const std::string& name, const std::string& path) {
  ModemPortInfo info;
  info.friendlyName = std::u16string(name.begin(), name.end());
  info.port = std::u16string(path.begin(), path.end());
  return info;
}

struct ProbeCase {
  const char* name;
  const char* init;
  std::function<void(test::ScriptedModem&)> script;
  bool found;
  // The commands the modem saw, in order.
  Strings commands;
};

void PrintTo(const ProbeCase& c, std::ostream* out) { *out << c.name; }

class PortProbeExchanges : public ::testing::TestWithParam<ProbeCase> {};

// Each probe really waits for the line to stay silent for 500 ms after every answer.
TEST_P(PortProbeExchanges, FindsOnlyModemsThatAnswerBothCommands) {
  const ProbeCase& c = GetParam();
  test::ScriptedModem modem;
  c.script(modem);
  SettingsStore settings;
  settings.setString("modem.init", std::u16string(c.init, c.init + std::string(c.init).size()));
  PortDetector detector(settings, [] { return std::vector<ModemPortInfo>(); });

  EXPECT_EQ(detector.probePort(entry("modem", modem.portPath())), c.found);
  EXPECT_EQ(modem.commands(), c.commands);
  // The port was given back: another program can take it now.
  EXPECT_TRUE(PortProbe::canOpen(modem.portPath()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortProbeExchanges,
    ::testing::Values(
        ProbeCase{"OkToBoth",
                  "ATZ",
                  [](test::ScriptedModem& m) {
                    m.on("ATZ", kOk);
                    m.on("AT+CSMS=?", kCsms);
                  },
                  true,
                  {"ATZ", "AT+CSMS=?"}},
        ProbeCase{"EchoingOneByteAtATime",
                  "ATZ",
                  [](test::ScriptedModem& m) {
                    m.setEcho(true);
                    m.setSplitBytes(true);
                    m.on("ATZ", kOk);
                    m.on("AT+CSMS=?", kCsms);
                  },
                  true,
                  {"ATZ", "AT+CSMS=?"}},
        // An empty "modem.init" sends just the line end; any answer without ERROR goes on.
        ProbeCase{"EmptyInitAnsweredAnyhow",
                  "",
                  [](test::ScriptedModem& m) {
                    m.on("", "\r\n");
                    m.on("AT+CSMS=?", kCsms);
                  },
                  true,
                  {"", "AT+CSMS=?"}},
        ProbeCase{
            "Silent", "ATZ", [](test::ScriptedModem& m) { m.setSilent(true); }, false, {"ATZ"}},
        ProbeCase{"ErrorToInit",
                  "AT&F",
                  [](test::ScriptedModem& m) { m.on("AT&F", "\r\nERROR\r\n"); },
                  false,
                  {"AT&F"}},
        // No SMS service: not a GSM modem.
        ProbeCase{"ErrorToCsms",
                  "ATZ",
                  [](test::ScriptedModem& m) {
                    m.on("ATZ", kOk);
                    m.on("AT+CSMS=?", "\r\n+CME ERROR: 4\r\n");
                  },
                  false,
                  {"ATZ", "AT+CSMS=?"}},
        // A device that streams anything but AT answers (a GPS receiver, a wrong line speed).
        ProbeCase{"Garbage",
                  "ATZ",
                  [](test::ScriptedModem& m) {
                    m.onPrefix("", "\x8f\xfe$GPGGA,123519,4807.038,N,01131.000,E*47\r\n\xa5\x5a");
                  },
                  false,
                  {"ATZ", "AT+CSMS=?"}},
        // Answers the first command, then nothing.
        ProbeCase{"FallsSilentAfterInit",
                  "ATZ",
                  [](test::ScriptedModem& m) { m.on("ATZ", kOk); },
                  false,
                  {"ATZ", "AT+CSMS=?"}}),
    [](const ::testing::TestParamInfo<ProbeCase>& info) { return std::string(info.param.name); });

TEST(PortProbe, OkLineIsAWholeLine) {
  EXPECT_TRUE(hasOkLine("\r\n+CSMS: (0,1)\r\n\r\nOK\r\n"));
  EXPECT_TRUE(hasOkLine("AT+CSMS=?\rOK"));
  EXPECT_FALSE(hasOkLine("\r\nBROKEN\r\n"));
  EXPECT_FALSE(hasOkLine("$GPOK,1*00\r\n"));
  EXPECT_FALSE(hasOkLine(""));
}

// A modem that floods the line is read up to 1024 bytes, then the probe gives up on it.
TEST(PortProbe, EndlessAnswerIsCutAt1024Bytes) {
  test::ScriptedModem modem;
  modem.on("ATZ", std::string(3000, 'x'));
  int fd = -1;
  ASSERT_EQ(tty::openExclusive(modem.portPath(), &fd), 0);
  const ProbeReply reply = PortProbe().exchange(fd, "ATZ\r\n");
  tty::release(fd);
  EXPECT_TRUE(reply.wrote);
  EXPECT_EQ(reply.bytes, std::string(1024, 'x'));
}

class PortList : public ::testing::Test {
 protected:
  SettingsStore settings;
  test::ScriptedModem free;
  test::ScriptedModem held;
  test::ScriptedModem gone;
  std::vector<ModemPortInfo> known = {entry("Free modem", free.portPath()),
                                      entry("Held modem", held.portPath()),
                                      entry("Gone modem", gone.portPath())};
  PortDetector detector{settings, [this] { return known; }};
};

TEST_F(PortList, OnlyOpenableLeavesOutHeldAndVanishedPorts) {
  int holder = -1;
  ASSERT_EQ(tty::openExclusive(held.portPath(), &holder), 0);
  gone.unplug();

  const auto all = detector.listModems(false);
  ASSERT_EQ(all.size(), 3u);
  const auto openable = detector.listModems(true);
  // A port held elsewhere is not probed either: the exclusive open fails at once.
  EXPECT_FALSE(detector.probePort(all[1]));
  tty::release(holder);
  ASSERT_EQ(openable.size(), 1u);
  EXPECT_EQ(openable[0].friendlyName, u"Free modem");
  EXPECT_TRUE(held.commands().empty());
}

// The port disappears between the listing and "Test...": the probe fails at once, nothing hangs.
TEST_F(PortList, FindRespondingKeepsOrderAndDropsWhatVanished) {
  settings.setString("modem.init", u"ATZ");
  for (test::ScriptedModem* modem : {&free, &held}) {
    modem->on("ATZ", kOk);
    modem->on("AT+CSMS=?", kCsms);
  }
  const auto listed = detector.listModems(true);
  ASSERT_EQ(listed.size(), 3u);
  gone.unplug();
  // Swapped, so that the result shows it follows the list and not the enumeration.
  const std::vector<ModemPortInfo> list = {listed[1], listed[2], listed[0]};

  const auto responding = detector.findResponding(list);
  ASSERT_EQ(responding.size(), 2u);
  EXPECT_EQ(responding[0].friendlyName, u"Held modem");
  EXPECT_EQ(responding[1].friendlyName, u"Free modem");
  EXPECT_TRUE(gone.commands().empty());
}

TEST_F(PortList, CancelStopsBeforeTheNextProbe) {
  std::atomic<bool> cancel{true};
  EXPECT_TRUE(detector.findResponding(known, &cancel).empty());
  EXPECT_TRUE(free.commands().empty());
}

TEST(PortDetector, DevicePathFollowsThePrefixSettings) {
  SettingsStore settings;
  PortDetector detector(settings, [] { return std::vector<ModemPortInfo>(); });
  EXPECT_EQ(detector.devicePath(u"ttyUSB0"), "/dev/ttyUSB0");
  settings.setInt("port.use_prefix", 1);
  settings.setString("port.prefix", u"/dev/serial/by-path/");
  EXPECT_EQ(detector.devicePath(u"pci-0:1"), "/dev/serial/by-path/pci-0:1");
  EXPECT_EQ(detector.devicePath(u"/dev/serial/by-id/usb-x"), "/dev/serial/by-id/usb-x");
}

}  // namespace
}  // namespace parlane
