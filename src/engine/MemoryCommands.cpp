#include "engine/MemoryCommands.h"

#include <string>

namespace parlane {

namespace {

std::u16string quoted(std::u16string_view storage) {
  // A storage name comes from the modem's own reply; it must not end the argument early.
  std::u16string clean;
  for (char16_t c : storage) {
    if (c != u'"' && c != u'\r' && c != u'\n' && c != 0x1A && c != 0x1B) clean.push_back(c);
  }
  return u"\"" + clean + u"\"";
}

std::u16string decimal(int value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace

std::unique_ptr<ATCommandMessage> storageSelectionCommand(std::u16string_view m1,
                                                          std::u16string_view m2,
                                                          std::u16string_view m3) {
  if (m1.empty()) return nullptr;
  std::u16string command = u"AT+CPMS=" + quoted(m1);
  if (!m2.empty()) {
    command += u"," + quoted(m2);
    if (!m3.empty()) command += u"," + quoted(m3);
  }
  return std::make_unique<ATCommandMessage>(command + u"\r\n");
}

std::unique_ptr<ATCommandMessage> readMessageCommand(int index) {
  auto command = std::make_unique<ATCommandMessage>(u"AT+CMGR=" + decimal(index) + u"\r\n");
  command->memoryIndex = index;
  return command;
}

std::unique_ptr<ATCommandMessage> listMessagesCommand(int status, bool textMode) {
  if (!textMode) {
    return std::make_unique<ATCommandMessage>(u"AT+CMGL=" + decimal(status) + u"\r\n");
  }
  static constexpr std::u16string_view kNames[] = {u"REC UNREAD", u"REC READ", u"STO UNSENT",
                                                   u"STO SENT", u"ALL"};
  if (status < 0 || status >= static_cast<int>(std::size(kNames))) return nullptr;
  return std::make_unique<ATCommandMessage>(u"AT+CMGL=\"" + std::u16string(kNames[status]) +
                                            u"\"\r\n");
}

bool readsModemMemory(std::u16string_view command) {
  for (std::u16string_view start : {u"AT+CMGL=", u"AT+CMGR=", u"AT+CPMS="}) {
    if (command.substr(0, start.size()) == start) return true;
  }
  return false;
}

}  // namespace parlane
