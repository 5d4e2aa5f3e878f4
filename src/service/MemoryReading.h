#pragma once

namespace parlane {

// Where the reading of the modem memory stands: the polling cycle, the listing after connecting
// and the control panel's listing walk these states. The cycle's steps move on by arithmetic on
// the values (an odd state adds 1 when the memory selection's OK comes; a state with
// kListUnreadNextBit adds 2 and lists the unread messages), so they stay plain numbers. Only
// the service thread changes the state; others read it.
enum MemoryReading : int {
  kReadingIdle = 0,
  // Set in a state whose OK is followed by the listing of the unread messages.
  kListUnreadNextBit = 2,
  // The control panel's listing, after selecting another memory (3) or at once (4).
  kReadingPanelSelecting = 3,
  kReadingPanel = 4,
  // Set while a cycle's listing has ended and its messages are being filed (until timer 5).
  kInCycleBit = 8,
  // The polling step: selecting the polling memory, then listing the read messages.
  kReadingSelecting = 9,
  kReadingListingRead = 10,
  // Listing the unread messages: the polling cycle's second listing, or the one after
  // connecting.
  kReadingListingUnread = 12,
};

}  // namespace parlane
