#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "core/settings/SettingsStore.h"
#include "core/util/ErrorText.h"
#include "core/util/Utf.h"
#include "service/PortErrorText.h"
#include "support/ScriptedModem.h"
#include "support/TempDir.h"
#include "transport/AsyncSerialComm.h"

namespace parlane {
namespace {

TEST(PortErrorText, EachErrorGetsItsMessage) {
  struct Case {
    std::u16string port;
    int error;
    std::u16string starts;
    std::u16string contains;
  };
  const Case cases[] = {
      {u"", EINVAL, u"The COM port is not set. Please setup COM port before connection!", u""},
      {u"ttyUSB7", ENOENT,
       u"The port 'ttyUSB7' can't be opened.\nPlease check the serial connection.", u""},
      {u"ttyUSB0", EACCES, errorText(EACCES) + u"\n", u"dialout"},
      {u"ttyUSB0", EBUSY, errorText(EBUSY) + u"\n", u"ModemManager or brltty"},
      {u"ttyUSB0", EIO, errorText(EIO), u""},
  };
  for (const auto& c : cases) {
    const std::u16string text = portOpenFailureText(c.error, c.port);
    EXPECT_TRUE(text.starts_with(c.starts)) << toUtf8(text);
    EXPECT_NE(text.find(c.contains), std::u16string::npos) << toUtf8(text);
  }
  // The two hints name what to do next: log in again, and the README's udev rule.
  EXPECT_NE(portOpenFailureText(EACCES, u"p").find(u"log in again"), std::u16string::npos);
  EXPECT_NE(portOpenFailureText(EBUSY, u"p").find(u"README"), std::u16string::npos);
  // No hint where none applies.
  EXPECT_EQ(portOpenFailureText(EIO, u"p"), errorText(EIO));
}

// The channel's own errors lead to those messages: a missing device and a port another program
// holds.
TEST(PortErrorText, FollowsTheChannelsErrors) {
  SettingsStore settings;
  test::ScriptedModem modem;
  test::TempDir dir;

  AsyncSerialComm holder(settings);
  ASSERT_TRUE(holder.open(fromUtf8(modem.portPath())));
  AsyncSerialComm second(settings);
  const std::u16string held = fromUtf8(modem.portPath());
  EXPECT_FALSE(second.open(held));
  EXPECT_EQ(second.lastError(), EBUSY);
  EXPECT_NE(portOpenFailureText(second.lastError(), held).find(u"ModemManager"),
            std::u16string::npos);

  const std::u16string missing = fromUtf8(dir.file("no-such-tty"));
  EXPECT_FALSE(second.open(missing));
  EXPECT_EQ(portOpenFailureText(second.lastError(), missing),
            u"The port '" + missing + u"' can't be opened.\nPlease check the serial connection.");
  holder.close();
}

}  // namespace
}  // namespace parlane
