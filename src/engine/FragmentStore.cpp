#include "engine/FragmentStore.h"

#include <charconv>
#include <iterator>
#include <string_view>
#include <utility>

namespace parlane {

namespace {

constexpr std::string_view kHeaderLine = "parlane-fragments v1";
constexpr char kHex[] = "0123456789abcdef";

std::string hexUnits(const std::u16string& text) {
  std::string out;
  out.reserve(text.size() * 4);
  for (char16_t unit : text) {
    for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(unit >> shift) & 0xF]);
  }
  return out;
}

std::string hexOctets(const std::vector<std::uint8_t>& octets) {
  std::string out;
  for (std::uint8_t octet : octets) {
    out.push_back(kHex[octet >> 4]);
    out.push_back(kHex[octet & 0xF]);
  }
  return out;
}

std::optional<unsigned> hexValue(std::string_view digits) {
  unsigned value = 0;
  for (char c : digits) {
    const auto at = std::string_view(kHex).find(c >= 'A' && c <= 'F' ? char(c - 'A' + 'a') : c);
    if (at == std::string_view::npos) return std::nullopt;
    value = value * 16 + static_cast<unsigned>(at);
  }
  return value;
}

std::optional<std::u16string> readUnits(std::string_view hex) {
  if (hex.size() % 4 != 0) return std::nullopt;
  std::u16string out;
  for (std::size_t at = 0; at < hex.size(); at += 4) {
    const auto unit = hexValue(hex.substr(at, 4));
    if (!unit) return std::nullopt;
    out.push_back(static_cast<char16_t>(*unit));
  }
  return out;
}

std::optional<std::vector<std::uint8_t>> readOctets(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> out;
  for (std::size_t at = 0; at < hex.size(); at += 2) {
    const auto octet = hexValue(hex.substr(at, 2));
    if (!octet) return std::nullopt;
    out.push_back(static_cast<std::uint8_t>(*octet));
  }
  return out;
}

template <typename Number>
bool readNumber(std::string_view text, Number& out) {
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return false;
  out = static_cast<Number>(value);
  return static_cast<long long>(out) == value;
}

std::vector<std::string_view> split(std::string_view line, char separator) {
  std::vector<std::string_view> fields;
  std::size_t begin = 0;
  for (std::size_t at; (at = line.find(separator, begin)) != std::string_view::npos;
       begin = at + 1) {
    fields.push_back(line.substr(begin, at - begin));
  }
  fields.push_back(line.substr(begin));
  return fields;
}

}  // namespace

FragmentStore::Offer FragmentStore::add(ReceivedPdu part, std::time_t arrived) {
  if (part.total < 1) part.total = 1;
  if (part.index < 0 || part.index >= kMaxParts || part.total > kMaxParts ||
      part.index >= part.total) {
    return {Outcome::kOutOfRange, {}};
  }
  // Parts kept by earlier versions name international senders without their "+".
  const std::u16string_view party = std::u16string_view(part.party).starts_with(u'+')
                                        ? std::u16string_view(part.party).substr(1)
                                        : std::u16string_view(part.party);
  Key key{part.reference, std::u16string(party), part.total, part.index};
  const auto held = parts_.find(key);
  if (held != parts_.end()) {
    ReceivedPdu& kept = held->second.part;
    if (kept.memoryIndex < 0) {
      kept.memoryIndex = part.memoryIndex;
      kept.memoryReadAt = part.memoryReadAt;
      return {Outcome::kDuplicate, {}};
    }
    return {Outcome::kDuplicate, {kept.memoryIndex, kept.memoryReadAt}};
  }
  parts_.emplace(std::move(key), Held{std::move(part), arrived});
  return {Outcome::kStored, {}};
}

FragmentStore::Parts::iterator FragmentStore::endOfMessage(Parts::iterator first) {
  auto last = first;
  while (last != parts_.end() && last->first.reference == first->first.reference &&
         last->first.party == first->first.party && last->first.total == first->first.total) {
    ++last;
  }
  return last;
}

std::vector<ReceivedPdu> FragmentStore::takeComplete() {
  auto first = parts_.begin();
  while (first != parts_.end()) {
    // The parts of one message stand together, in part order; each number appears once and is
    // below the count, so the message is complete when it has as many parts as it says.
    const auto last = endOfMessage(first);
    if (std::distance(first, last) == first->first.total) {
      std::vector<ReceivedPdu> message;
      for (auto it = first; it != last; ++it) message.push_back(std::move(it->second.part));
      parts_.erase(first, last);
      return message;
    }
    first = last;
  }
  return {};
}

std::vector<ModemSlot> FragmentStore::takeStale(std::time_t limit) {
  std::vector<ModemSlot> slots;
  for (auto& [key, held] : parts_) {
    if (held.staleNamed || held.part.time >= limit) continue;
    held.staleNamed = true;
    if (held.part.memoryIndex >= 0)
      slots.push_back({held.part.memoryIndex, held.part.memoryReadAt});
    held.part.memoryIndex = -1;
  }
  return slots;
}

std::vector<ModemSlot> FragmentStore::releaseSlots() {
  std::vector<ModemSlot> slots;
  for (auto& [key, held] : parts_) {
    if (held.part.memoryIndex >= 0)
      slots.push_back({held.part.memoryIndex, held.part.memoryReadAt});
    held.part.memoryIndex = -1;
  }
  return slots;
}

std::vector<std::vector<ReceivedPdu>> FragmentStore::takeExpired(std::time_t limit) {
  std::vector<std::vector<ReceivedPdu>> expired;
  auto first = parts_.begin();
  while (first != parts_.end()) {
    const auto last = endOfMessage(first);
    std::time_t earliest = first->second.arrived;
    for (auto it = first; it != last; ++it) earliest = std::min(earliest, it->second.arrived);
    if (earliest < limit) {
      std::vector<ReceivedPdu> message;
      for (auto it = first; it != last; ++it) message.push_back(std::move(it->second.part));
      expired.push_back(std::move(message));
      first = parts_.erase(first, last);
    } else {
      first = last;
    }
  }
  return expired;
}

std::optional<std::time_t> FragmentStore::earliestArrival() const {
  std::optional<std::time_t> earliest;
  for (const auto& [key, held] : parts_) {
    if (!earliest || held.arrived < *earliest) earliest = held.arrived;
  }
  return earliest;
}

std::string FragmentStore::serialize() const {
  std::string out(kHeaderLine);
  out += '\n';
  for (const auto& [key, held] : parts_) {
    const ReceivedPdu& p = held.part;
    const long long numbers[] = {p.kind,
                                 static_cast<long long>(p.time),
                                 static_cast<long long>(held.arrived),
                                 p.reference,
                                 p.total,
                                 p.index,
                                 static_cast<int>(p.coding),
                                 p.portAddressed,
                                 p.messageReference,
                                 static_cast<long long>(p.dischargeTime),
                                 p.status};
    for (long long number : numbers) out += std::to_string(number) + '\t';
    out += hexUnits(p.party) + '\t' + hexOctets(p.header) + '\t' + hexUnits(p.text) + '\n';
  }
  return out;
}

void FragmentStore::deserialize(std::string_view text, std::size_t* skipped) {
  parts_.clear();
  std::size_t bad = 0;
  bool first = true;
  for (std::string_view line : split(text, '\n')) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (first) {
      first = false;
      if (line == kHeaderLine) continue;
    }
    if (line.empty()) continue;
    const std::vector<std::string_view> fields = split(line, '\t');
    ReceivedPdu p;
    std::time_t arrived = 0;
    int coding = 0;
    std::optional<std::u16string> party;
    std::optional<std::vector<std::uint8_t>> header;
    std::optional<std::u16string> body;
    const bool read =
        fields.size() == 14 && readNumber(fields[0], p.kind) && readNumber(fields[1], p.time) &&
        readNumber(fields[2], arrived) && readNumber(fields[3], p.reference) &&
        readNumber(fields[4], p.total) && readNumber(fields[5], p.index) &&
        readNumber(fields[6], coding) && readNumber(fields[7], p.portAddressed) &&
        readNumber(fields[8], p.messageReference) && readNumber(fields[9], p.dischargeTime) &&
        readNumber(fields[10], p.status) && (party = readUnits(fields[11])) &&
        (header = readOctets(fields[12])) && (body = readUnits(fields[13]));
    if (!read) {
      ++bad;
      continue;
    }
    p.coding = static_cast<SmsCoding>(coding);
    p.party = std::move(*party);
    p.header = std::move(*header);
    p.text = std::move(*body);
    p.memoryIndex = -1;
    if (add(std::move(p), arrived).outcome != Outcome::kStored) ++bad;
  }
  if (skipped != nullptr) *skipped = bad;
}

}  // namespace parlane
