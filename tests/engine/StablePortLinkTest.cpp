#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/StablePortLink.h"
#include "support/TempDir.h"

namespace parlane {
namespace {

// Plain files stand in for the device nodes: only where the links lead matters.
class StablePortLink : public ::testing::Test {
 protected:
  StablePortLink() {
    ::mkdir(dir.file("dev").c_str(), 0700);
    ::mkdir(dir.file("by-id").c_str(), 0700);
    dir.write("dev/ttyUSB0", "");
    dir.write("dev/ttyUSB1", "");
  }
  void link(const std::string& target, const std::string& name) {
    ASSERT_EQ(::symlink(target.c_str(), dir.file("by-id/" + name).c_str()), 0);
  }

  test::TempDir dir;
};

TEST_F(StablePortLink, FindsTheLinkThatLeadsToTheDevice) {
  link("../dev/ttyUSB1", "usb-Other_123-if00-port0");
  link("../dev/ttyUSB0", "usb-HUAWEI_E620_0123-if00-port0");
  link("../dev/gone", "usb-Dangling-if00");
  EXPECT_EQ(stableLinkFor(dir.file("dev/ttyUSB0"), dir.file("by-id")),
            dir.file("by-id/usb-HUAWEI_E620_0123-if00-port0"));
}

TEST_F(StablePortLink, TwoLinksToOneDeviceGiveTheFirstByName) {
  link(dir.file("dev/ttyUSB0"), "usb-b");
  link(dir.file("dev/ttyUSB0"), "usb-a");
  EXPECT_EQ(stableLinkFor(dir.file("dev/ttyUSB0"), dir.file("by-id")), dir.file("by-id/usb-a"));
}

TEST_F(StablePortLink, NothingWhenThereIsNoLinkOrNoDevice) {
  link("../dev/ttyUSB1", "usb-Other_123-if00-port0");
  EXPECT_EQ(stableLinkFor(dir.file("dev/ttyUSB0"), dir.file("by-id")), "");
  EXPECT_EQ(stableLinkFor(dir.file("dev/ttyUSB7"), dir.file("by-id")), "");
  EXPECT_EQ(stableLinkFor(dir.file("dev/ttyUSB0"), dir.file("no-such-folder")), "");
}

}  // namespace
}  // namespace parlane
