#include <gtest/gtest.h>
#include <umockdev.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/settings/SettingsStore.h"
#include "engine/PortDetector.h"
#include "engine/UdevModems.h"

namespace parlane {
namespace {

// Recorded devices: a USB modem with names from the hardware database, a phone on ACM with only
// its own (underscored) names, a UART on the board without any, a virtual console and a serial
// interface without a device node.
constexpr char kDevices[] =
    "P: /devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0\n"
    "N: ttyUSB0\n"
    "E: DEVNAME=/dev/ttyUSB0\n"
    "E: SUBSYSTEM=tty\n"
    "E: ID_VENDOR=HUAWEI\n"
    "E: ID_MODEL=E620_USB_Modem\n"
    "E: ID_VENDOR_FROM_DATABASE=Huawei Technologies Co., Ltd.\n"
    "E: ID_MODEL_FROM_DATABASE=E620 USB Modem\n"
    "A: dev=188:0\n"
    "\n"
    "P: /devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0\n"
    "E: SUBSYSTEM=usb-serial\n"
    "E: DRIVER=option1\n"
    "\n"
    "P: /devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0\n"
    "E: SUBSYSTEM=usb\n"
    "E: DEVTYPE=usb_interface\n"
    "\n"
    "P: /devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.1/tty/ttyACM0\n"
    "N: ttyACM0\n"
    "E: DEVNAME=/dev/ttyACM0\n"
    "E: SUBSYSTEM=tty\n"
    "E: ID_VENDOR=Nokia\n"
    "E: ID_MODEL=Nokia_6230i\n"
    "A: dev=166:0\n"
    "\n"
    "P: /devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.1\n"
    "E: SUBSYSTEM=usb\n"
    "E: DEVTYPE=usb_interface\n"
    "\n"
    "P: /devices/pnp0/00:04/tty/ttyS0\n"
    "N: ttyS0\n"
    "E: DEVNAME=/dev/ttyS0\n"
    "E: SUBSYSTEM=tty\n"
    "A: dev=4:64\n"
    "\n"
    "P: /devices/pnp0/00:04\n"
    "E: SUBSYSTEM=pnp\n"
    "\n"
    "P: /devices/virtual/tty/tty0\n"
    "N: tty0\n"
    "E: DEVNAME=/dev/tty0\n"
    "E: SUBSYSTEM=tty\n"
    "A: dev=4:0\n"
    "\n"
    "P: /devices/platform/serial-hidden/tty/ttyX9\n"
    "E: SUBSYSTEM=tty\n"
    "\n"
    "P: /devices/platform/serial-hidden\n"
    "E: SUBSYSTEM=platform\n";

// The recorded devices replace /sys and /dev for this process; that takes umockdev's preload
// library, which the test's command (umockdev-wrapper) puts in place.
class UdevModems : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* preload = std::getenv("LD_PRELOAD");
    if (preload == nullptr || std::strstr(preload, "umockdev-preload") == nullptr) {
      GTEST_SKIP() << "not run under umockdev-wrapper";
    }
    testbed_ = umockdev_testbed_new();
  }
  void TearDown() override {
    if (testbed_ != nullptr) g_object_unref(testbed_);
  }
  void add(const char* devices) {
    GError* error = nullptr;
    ASSERT_TRUE(umockdev_testbed_add_from_string(testbed_, devices, &error))
        << (error != nullptr ? error->message : "");
  }

  UMockdevTestbed* testbed_ = nullptr;
};

TEST_F(UdevModems, ListsSerialPortsOnDevicesWithReadableNames) {
  add(kDevices);
  const auto modems = listUdevModems();
  std::vector<std::pair<std::u16string, std::u16string>> seen;
  for (const ModemPortInfo& info : modems) {
    seen.emplace_back(info.friendlyName, info.port);
    EXPECT_EQ(info.hasLineSettings, 0);
  }
  const std::vector<std::pair<std::u16string, std::u16string>> expected = {
      {u"Huawei Technologies Co., Ltd. E620 USB Modem", u"ttyUSB0"},
      {u"Nokia 6230i", u"ttyACM0"},
      {u"ttyS0", u"ttyS0"},
  };
  EXPECT_EQ(seen.size(), expected.size());
  for (const auto& modem : expected) {
    EXPECT_NE(std::find(seen.begin(), seen.end(), modem), seen.end())
        << std::string(modem.second.begin(), modem.second.end());
  }
}

TEST_F(UdevModems, NoSerialDevicesGiveAnEmptyList) {
  add("P: /devices/virtual/tty/console\nN: console\nE: DEVNAME=/dev/console\nE: SUBSYSTEM=tty\n");
  EXPECT_TRUE(listUdevModems().empty());
}

TEST_F(UdevModems, DetectorListsThemByDefault) {
  add(kDevices);
  SettingsStore settings;
  const auto modems = PortDetector(settings).listModems(false);
  ASSERT_EQ(modems.size(), 3u);
}

}  // namespace
}  // namespace parlane
