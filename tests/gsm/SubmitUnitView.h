#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gsm/PduEncoder.h"

namespace parlane::test {

// The fields of one SMS-SUBMIT unit, split the way a modem reads it.
struct SubmitUnitView {
  Octets smsc;
  std::uint8_t firstOctet = 0;
  std::uint8_t messageReference = 0;
  Octets address;  // length, type and digit octets
  std::uint8_t pid = 0;
  std::uint8_t dcs = 0;
  std::uint8_t validity = 0;
  std::uint8_t userDataLength = 0;
  Octets userData;
  bool complete = false;
};

inline SubmitUnitView viewSubmitUnit(const Octets& unit) {
  SubmitUnitView view;
  std::size_t pos = 0;
  auto take = [&](std::size_t count, Octets& into) {
    if (pos + count > unit.size()) return false;
    into.assign(unit.begin() + static_cast<std::ptrdiff_t>(pos),
                unit.begin() + static_cast<std::ptrdiff_t>(pos + count));
    pos += count;
    return true;
  };
  auto octet = [&](std::uint8_t& into) {
    if (pos >= unit.size()) return false;
    into = unit[pos++];
    return true;
  };
  if (unit.empty() || !take(std::size_t{unit[0]} + 1, view.smsc)) return view;
  if (!octet(view.firstOctet) || !octet(view.messageReference)) return view;
  if (pos >= unit.size() || !take((std::size_t{unit[pos]} + 1) / 2 + 2, view.address)) return view;
  if (!octet(view.pid) || !octet(view.dcs) || !octet(view.validity) ||
      !octet(view.userDataLength)) {
    return view;
  }
  view.userData.assign(unit.begin() + static_cast<std::ptrdiff_t>(pos), unit.end());
  view.complete = true;
  return view;
}

inline std::string toHex(const Octets& octets) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (std::uint8_t octet : octets) {
    hex.push_back(kDigits[octet >> 4]);
    hex.push_back(kDigits[octet & 0x0F]);
  }
  return hex;
}

}  // namespace parlane::test
