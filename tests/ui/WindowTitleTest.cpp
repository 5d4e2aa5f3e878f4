#include <gtest/gtest.h>

#include "core/util/Utf.h"
#include "ui/mainframe/WindowTitle.h"

namespace parlane {
namespace {

TEST(WindowTitle, EachStateWithSuffixAndPort) {
  struct Case {
    ConnectionState state;
    std::u16string suffix;
    std::u16string expected;
  };
  const Case cases[] = {
      {ConnectionState::Disconnected, u"", u"Parlane (disconnected)"},
      {ConnectionState::Connecting, u"", u"Parlane (connecting to ttyUSB0...)"},
      {ConnectionState::Connected, u"", u"Parlane (connected to ttyUSB0)"},
      {ConnectionState::Error, u"", u"Parlane (error)"},
      {ConnectionState::Connected, u" instance 5", u"Parlane instance 5 (connected to ttyUSB0)"},
      {ConnectionState::Disconnected, u" instance 5", u"Parlane instance 5 (disconnected)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(connectionTitle(c.state, c.suffix, u"ttyUSB0"), c.expected) << toUtf8(c.expected);
  }
}

TEST(WindowTitle, ToolTipKeepsTheFirst63CharactersTheTitleAll) {
  const std::u16string port = u"/dev/serial/by-id/usb-Quortane_GSM_Modem_0123456789-if00-port0";
  const std::u16string title = connectionTitle(ConnectionState::Connected, u" instance 12", port);
  EXPECT_NE(title.find(port), std::u16string::npos) << "the title is never cut";
  const std::u16string tip = trayToolTip(title);
  EXPECT_EQ(tip.size(), 63u);
  EXPECT_EQ(tip, title.substr(0, 63));
  EXPECT_EQ(trayToolTip(u"Parlane (error)"), u"Parlane (error)");
  EXPECT_EQ(trayToolTip(title.substr(0, 63)), title.substr(0, 63));

  // A character outside the basic plane across the cut is left out whole.
  std::u16string wide(62, u'x');
  wide += u"\U0001F4F1";
  EXPECT_EQ(trayToolTip(wide), std::u16string(62, u'x'));
}

}  // namespace
}  // namespace parlane
