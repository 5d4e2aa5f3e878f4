#include <gtest/gtest.h>

#include <QGuiApplication>

#include "MainFrameFixture.h"
#include "ui/mainframe/GatewayIcon.h"

namespace parlane {
namespace {

// The windows and the tray show the installed pictures in every size, with or without a tray
// icon.
TEST(DesktopIcon, WindowsCarryEverySizeOfTheInstalledIcon) {
  test::MainFrameFixture fixture;
  fixture.make(true);
  const QList<QSize> sizes = QGuiApplication::windowIcon().availableSizes();
  for (int size : kGatewayIconSizes) {
    EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
  }
  EXPECT_FALSE(gatewayIcon().pixmap(22, 22).isNull());
}

}  // namespace
}  // namespace parlane
