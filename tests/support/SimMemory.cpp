#include "support/SimMemory.h"

#include <charconv>
#include <optional>

namespace parlane::test {

namespace {

std::optional<int> number(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// The TPDU length "+CMGR:" and "+CMGL:" give: the octets after the service centre field.
std::string tpduLength(const std::string& pduHex) {
  const int smscOctets = std::stoi(pduHex.substr(0, 2), nullptr, 16);
  return std::to_string(pduHex.size() / 2 - 1 - static_cast<std::size_t>(smscOctets));
}

constexpr char kOk[] = "\r\nOK\r\n";
constexpr char kInvalidIndex[] = "\r\n+CMS ERROR: 321\r\n";

}  // namespace

SimMemory::SimMemory(ScriptedModem& modem, int slots) : modem_(modem), slots_(slots) {}

void SimMemory::attach() {
  modem_.onCommand(
      [this](const std::string& command, std::string& reply) { return answer(command, reply); });
}

void SimMemory::setEmptyHeaderForFreeSlots(bool on) {
  std::lock_guard guard(mutex_);
  emptyHeader_ = on;
}

void SimMemory::splitNextAnnouncement() {
  std::lock_guard guard(mutex_);
  splitNext_ = true;
}

void SimMemory::deliver(const std::string& pduHex) {
  std::string announcements;
  {
    std::lock_guard guard(mutex_);
    network_.push_back(pduHex);
    announcements = fillFreeSlots();
  }
  if (!announcements.empty()) modem_.send(announcements);
}

void SimMemory::preload(int slot, const std::string& pduHex, bool read) {
  std::lock_guard guard(mutex_);
  stored_[slot] = Slot{pduHex, read};
}

int SimMemory::deletedUnread() const {
  std::lock_guard guard(mutex_);
  return deletedUnread_;
}

int SimMemory::used() const {
  std::lock_guard guard(mutex_);
  return static_cast<int>(stored_.size());
}

int SimMemory::waiting() const {
  std::lock_guard guard(mutex_);
  return static_cast<int>(network_.size());
}

int SimMemory::readsOfFreeSlots() const {
  std::lock_guard guard(mutex_);
  return readsOfFree_;
}

std::string SimMemory::announce(int slot) {
  const std::string line = "\r\n+CMTI: \"SM\"," + std::to_string(slot) + "\r\n";
  if (!splitNext_) return line;
  splitNext_ = false;
  const std::size_t cut = line.find(',') + 1;
  announcementTail_ = line.substr(cut);
  return line.substr(0, cut);
}

std::string SimMemory::fillFreeSlots() {
  std::string announcements;
  for (int slot = 1; slot <= slots_ && !network_.empty(); ++slot) {
    if (stored_.contains(slot)) continue;
    stored_[slot] = Slot{network_.front(), false};
    network_.pop_front();
    announcements += announce(slot);
  }
  return announcements;
}

std::string SimMemory::listing(int status) {
  std::string reply;
  for (auto& [slot, held] : stored_) {
    if (status != 4 && (status == 0) == held.read) continue;
    reply += "\r\n+CMGL: " + std::to_string(slot) + "," + (held.read ? "1" : "0") + ",," +
             tpduLength(held.pdu) + "\r\n" + held.pdu;
    held.read = true;
  }
  return reply + "\r\n" + kOk;
}

bool SimMemory::answer(const std::string& command, std::string& reply) {
  std::lock_guard guard(mutex_);
  // The rest of a cut announcement comes before the answer to whatever command follows it.
  std::string before;
  before.swap(announcementTail_);
  std::string after;
  if (command.starts_with("AT+CMGR=")) {
    const auto slot = number(std::string_view(command).substr(8));
    const auto held = slot ? stored_.find(*slot) : stored_.end();
    if (held == stored_.end()) {
      ++readsOfFree_;
      reply = emptyHeader_ ? std::string("\r\n+CMGR: 0,,0\r\n") + kOk : kInvalidIndex;
    } else {
      reply = "\r\n+CMGR: " + std::string(held->second.read ? "1" : "0") + ",," +
              tpduLength(held->second.pdu) + "\r\n" + held->second.pdu + "\r\n" + kOk;
      held->second.read = true;
    }
  } else if (command.starts_with("AT+CMGL=")) {
    const auto status = number(std::string_view(command).substr(8));
    if (!status || *status < 0 || *status > 4) {
      reply = "\r\n+CMS ERROR: 302\r\n";
    } else {
      reply = listing(*status);
    }
  } else if (command.starts_with("AT+CMGD=") && command.find(',') == std::string::npos) {
    const auto slot = number(std::string_view(command).substr(8));
    const auto held = slot ? stored_.find(*slot) : stored_.end();
    if (held == stored_.end()) {
      reply = kInvalidIndex;
    } else {
      if (!held->second.read) ++deletedUnread_;
      stored_.erase(held);
      reply = kOk;
      after = fillFreeSlots();
    }
  } else if (command.starts_with("AT+CMGD=")) {
    for (auto it = stored_.begin(); it != stored_.end();) {
      if (!it->second.read) ++deletedUnread_;
      it = stored_.erase(it);
    }
    reply = kOk;
    after = fillFreeSlots();
  } else if (command == "AT+CPMS?" || command.starts_with("AT+CPMS=")) {
    const std::string use = std::to_string(stored_.size()) + "," + std::to_string(slots_);
    reply = "\r\n+CPMS: " + std::string(command == "AT+CPMS?" ? "\"SM\"," : "") + use + "," +
            (command == "AT+CPMS?" ? "\"SM\"," : "") + use + "," +
            (command == "AT+CPMS?" ? "\"SM\"," : "") + use + "\r\n" + kOk;
  } else {
    if (before.empty()) return false;
    // Another rule answers; the tail goes out at once, ahead of it.
    modem_.send(before);
    return false;
  }
  reply = before + reply + after;
  return true;
}

}  // namespace parlane::test
