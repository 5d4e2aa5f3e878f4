#pragma once

#include <string>
#include <vector>

#include "gsm/NumberPatterns.h"

namespace parlane {

class GenericMessage;
class SettingsStore;

// What the send path makes of an outgoing message's number before the message is stored.
struct RecipientCheck {
  // False: the number is no number (40196 says so); the message must not be queued.
  bool accepted = true;
  // False: "numbers.allow" or "numbers.deny" keep the number from being sent to.
  bool allowed = true;
  // A national-format number with "ton_warning" 1: 40216, to be shown; empty otherwise.
  std::u16string warning;
};

// "numbers.allow" and "numbers.deny" as they stand, read once for a batch.
struct RecipientLists {
  NumberPatterns allow;
  NumberPatterns deny;
  static RecipientLists fromSettings(const SettingsStore& settings);
};

// Rewrites the number of a short or push message by "ton_src_prefix" -> "ton_dst_prefix" and
// checks it with its type of number and against the lists. USSD requests and other kinds pass
// unchanged.
RecipientCheck checkRecipient(GenericMessage& message, const SettingsStore& settings,
                              const RecipientLists& lists);

// The numbers "numbers.allow" and "numbers.deny" refuse, after the "ton_src_prefix" rewrite the
// send path makes, in their order: for those who ask before they hand a request in (the send
// dialog, parlane-send).
std::vector<std::u16string> notAllowedNumbers(const std::vector<std::u16string>& numbers,
                                              const SettingsStore& settings);

}  // namespace parlane
