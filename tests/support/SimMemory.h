#pragma once

#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "support/ScriptedModem.h"

namespace parlane::test {

// A small SIM message memory behind a ScriptedModem, as real sticks have: a message from the
// network takes the lowest free slot and is announced with "+CMTI"; what does not fit waits in the
// network and is announced as soon as a delete frees a slot, in that very slot. "AT+CMGR=",
// "AT+CMGL=", "AT+CMGD=" and "AT+CPMS" are answered from it (PDU mode).
class SimMemory {
 public:
  SimMemory(ScriptedModem& modem, int slots);
  SimMemory(const SimMemory&) = delete;
  SimMemory& operator=(const SimMemory&) = delete;

  // Hooks the answers into the modem: before its catch-all rules.
  void attach();
  // A reading of a free slot gets "+CMGR: 0,,0" and "OK" (some modems do) instead of
  // "+CMS ERROR: 321".
  void setEmptyHeaderForFreeSlots(bool on);
  // The next announcement is cut in two: its second half comes just before the answer to the
  // next command.
  void splitNextAnnouncement();

  // A message (PDU hex with service centre) arrives from the network.
  void deliver(const std::string& pduHex);
  // A message already stored, read or not, when the test begins (no announcement).
  void preload(int slot, const std::string& pduHex, bool read);

  // Deletes of a slot whose message had never been read: a message lost.
  int deletedUnread() const;
  // Slots in use, and messages waiting in the network for a free slot.
  int used() const;
  int waiting() const;
  int readsOfFreeSlots() const;

 private:
  struct Slot {
    std::string pdu;
    bool read = false;
  };
  bool answer(const std::string& command, std::string& reply);
  // Stores the messages waiting while a slot is free; the announcements to send.
  std::string fillFreeSlots();
  std::string announce(int slot);
  std::string listing(int status);

  ScriptedModem& modem_;
  const int slots_;
  mutable std::mutex mutex_;
  std::map<int, Slot> stored_;
  std::deque<std::string> network_;
  std::string announcementTail_;
  bool splitNext_ = false;
  bool emptyHeader_ = false;
  int deletedUnread_ = 0;
  int readsOfFree_ = 0;
};

}  // namespace parlane::test
