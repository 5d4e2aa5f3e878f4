#include <gtest/gtest.h>

#include "transport/PortPath.h"
#include "transport/TrafficLogText.h"

namespace parlane {
namespace {

TEST(PortPathTest, NameRules) {
  struct Case {
    const char16_t* name;
    bool usePrefix;
    const char16_t* prefix;
    const char* path;
  } cases[] = {
      {u"ttyUSB0", false, u"/dev/", "/dev/ttyUSB0"},
      {u"ttyUSB0", false, u"/somewhere/", "/dev/ttyUSB0"},
      {u"ttyACM1", true, u"/dev/serial/by-id/", "/dev/serial/by-id/ttyACM1"},
      {u"COM12", true, u"", "COM12"},
      {u"/dev/serial/by-id/usb-Modem-if00", false, u"", "/dev/serial/by-id/usb-Modem-if00"},
      {u"/dev/ttyS0", true, u"/prefix/", "/dev/ttyS0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(portPath(c.name, c.usePrefix, c.prefix), c.path);
  }
}

TEST(TrafficLogTextTest, CommandLineEndsRemovedAndPinHidden) {
  EXPECT_EQ(commandLogText("AT+CSQ\r\n"), u"AT+CSQ");
  EXPECT_EQ(commandLogText("AT\r\nAT\r"), u"ATAT\r");
  EXPECT_EQ(commandLogText("AT+CPIN=1234\r\n"), u"AT+CPIN=****");
  EXPECT_EQ(commandLogText("at+cpin=\"87654321\",\"0000\"\r\n"), u"at+cpin=\"********\",\"****\"");
  // Only the PIN command hides anything.
  EXPECT_EQ(commandLogText("AT+CPIN?\r\n"), u"AT+CPIN?");
  EXPECT_EQ(commandLogText("AT+CMGS=23\r\n"), u"AT+CMGS=23");
  EXPECT_EQ(bodyLogText("0791\r\nAB"), u"0791\r\nAB");
}

}  // namespace
}  // namespace parlane
