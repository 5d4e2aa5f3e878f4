#pragma once

#include <memory>
#include <string>
#include <vector>

namespace parlane {

class GenericMessage;

// What the send dialog holds when "Send" is pressed.
struct SendContent {
  std::u16string source;
  std::u16string text;
  std::u16string url;
  bool push = false;
  bool flash = false;
  bool report = false;
  // 0 "Auto", else the type of number plus one.
  int tonIndex = 0;
  bool toAscii = false;
};

// One new SMSMessage (or PushMessage) per recipient, in order, each with its own id, the
// normalised number, its type of number and the flash and report flags. A recipient that is no
// number is skipped and added, as typed, to `invalid`.
std::vector<std::unique_ptr<GenericMessage>> buildOutgoingMessages(
    const SendContent& content, const std::vector<std::u16string>& recipients,
    std::vector<std::u16string>& invalid);

// The recipients, as typed, that buildOutgoingMessages would skip as no numbers.
std::vector<std::u16string> invalidRecipients(const std::vector<std::u16string>& recipients,
                                              int tonIndex);

// True when a reply can go to `sender`: it is a phone number, not a name such as a bank's.
bool isReplyable(const std::u16string& sender);

// The tool tip of a "Reply" that is disabled because the sender is no phone number.
std::u16string noReplyReason(const std::u16string& sender);

}  // namespace parlane
