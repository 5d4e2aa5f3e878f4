#pragma once

#include <string>

namespace parlane {

class GenericMessage;
class SettingsStore;

// What the send path makes of an outgoing message's number before the message is stored.
struct RecipientCheck {
  // False: the number is no number (40196 says so); the message must not be queued.
  bool accepted = true;
  // A national-format number with "ton_warning" 1: 40216, to be shown; empty otherwise.
  std::u16string warning;
};

// Rewrites the number of a short or push message by "ton_src_prefix" -> "ton_dst_prefix" and
// checks it with its type of number. USSD requests and other kinds pass unchanged.
RecipientCheck checkRecipient(GenericMessage& message, const SettingsStore& settings);

}  // namespace parlane
