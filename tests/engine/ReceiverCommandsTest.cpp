#include <gtest/gtest.h>

#include "core/util/Utf.h"
#include "engine/MemoryCommands.h"

namespace parlane {
namespace {

std::string text(const std::unique_ptr<ATCommandMessage>& command) {
  return command ? toUtf8(command->text) : std::string("(none)");
}

TEST(ReceiverCommands, StorageSelectionNamesWhatIsKnown) {
  struct Case {
    const char16_t* m1;
    const char16_t* m2;
    const char16_t* m3;
    const char* command;
  };
  for (const Case& c :
       {Case{u"SM", u"SM", u"SM", "AT+CPMS=\"SM\",\"SM\",\"SM\"\r\n"},
        Case{u"ME", u"SM", u"", "AT+CPMS=\"ME\",\"SM\"\r\n"},
        Case{u"SM", u"", u"MT", "AT+CPMS=\"SM\"\r\n"}, Case{u"", u"SM", u"SM", "(none)"},
        Case{u"S\"M", u"", u"", "AT+CPMS=\"SM\"\r\n"}}) {
    EXPECT_EQ(text(storageSelectionCommand(c.m1, c.m2, c.m3)), c.command);
  }
}

TEST(ReceiverCommands, ReadAndListCommands) {
  EXPECT_EQ(text(readMessageCommand(5)), "AT+CMGR=5\r\n");
  EXPECT_EQ(text(listMessagesCommand(4, true)), "AT+CMGL=\"ALL\"\r\n");
  EXPECT_EQ(text(listMessagesCommand(0, true)), "AT+CMGL=\"REC UNREAD\"\r\n");
  EXPECT_EQ(text(listMessagesCommand(4, false)), "AT+CMGL=4\r\n");
  EXPECT_EQ(text(listMessagesCommand(7, true)), "(none)");
  EXPECT_EQ(text(listMessagesCommand(-1, true)), "(none)");
  EXPECT_EQ(text(listMessagesCommand(7, false)), "AT+CMGL=7\r\n");
}

}  // namespace
}  // namespace parlane
