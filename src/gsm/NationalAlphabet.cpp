#include "gsm/NationalAlphabet.h"

#include <algorithm>
#include <array>
#include <utility>

#include "gsm/GsmAlphabet.h"

namespace parlane {

namespace {

constexpr char16_t kUnassigned = 0;
constexpr char16_t kReplacement = 0xFFFD;

const SeptetTable& lockingOrDefault(int language) {
  const SeptetTable* table = lockingShiftTable(language);
  return table != nullptr ? *table : *lockingShiftTable(0);
}

const SeptetTable& shiftOrDefault(int language) {
  const SeptetTable* table = singleShiftTable(language);
  return table != nullptr ? *table : *singleShiftTable(0);
}

// A table turned round: (unit, septet) sorted by unit. Where a table lists a character twice,
// the lower septet is kept.
using ReverseTable = std::vector<std::pair<char16_t, std::uint8_t>>;

ReverseTable reverseOf(const SeptetTable& table) {
  ReverseTable reverse;
  for (std::size_t septet = 0; septet < table.size(); ++septet) {
    const char16_t unit = table[septet];
    if (unit == kUnassigned || septet == kGsmEscape) continue;
    reverse.emplace_back(unit, static_cast<std::uint8_t>(septet));
  }
  std::stable_sort(reverse.begin(), reverse.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  reverse.erase(std::unique(reverse.begin(), reverse.end(),
                            [](const auto& a, const auto& b) { return a.first == b.first; }),
                reverse.end());
  return reverse;
}

struct ReverseTables {
  std::array<ReverseTable, kLastNationalLanguage + 1> locking;
  std::array<ReverseTable, kLastNationalLanguage + 1> shift;
};

const ReverseTables& reverseTables() {
  static const ReverseTables tables = [] {
    ReverseTables built;
    for (int language = 0; language <= kLastNationalLanguage; ++language) {
      built.locking[language] = reverseOf(lockingOrDefault(language));
      built.shift[language] = reverseOf(shiftOrDefault(language));
    }
    return built;
  }();
  return tables;
}

int knownOrDefault(int language) {
  return language >= 0 && language <= kLastNationalLanguage ? language : 0;
}

std::optional<std::uint8_t> find(const ReverseTable& table, char16_t unit) {
  const auto found =
      std::lower_bound(table.begin(), table.end(), unit,
                       [](const auto& entry, char16_t u) { return entry.first < u; });
  if (found == table.end() || found->first != unit) return std::nullopt;
  return found->second;
}

}  // namespace

std::u16string septetsToText(std::span<const std::uint8_t> septets, GsmLanguages languages) {
  const SeptetTable& locking = lockingOrDefault(languages.locking);
  const SeptetTable& shift = shiftOrDefault(languages.shift);
  const auto lockingUnit = [&](std::uint8_t septet) {
    const char16_t unit = locking[septet];
    return unit == kUnassigned ? kReplacement : unit;
  };
  std::u16string text;
  text.reserve(septets.size());
  for (std::size_t i = 0; i < septets.size(); ++i) {
    const std::uint8_t septet = septets[i] & 0x7F;
    if (septet != kGsmEscape) {
      text.push_back(lockingUnit(septet));
      continue;
    }
    if (i + 1 == septets.size()) break;
    const std::uint8_t next = septets[++i] & 0x7F;
    if (next == kGsmEscape) {
      text.push_back(u' ');
    } else if (shift[next] != kUnassigned) {
      text.push_back(shift[next]);
    } else {
      text.push_back(lockingUnit(next));
    }
  }
  return text;
}

std::optional<std::vector<std::uint8_t>> textToSeptets(std::u16string_view text,
                                                       GsmLanguages languages) {
  const ReverseTables& tables = reverseTables();
  const int lockingLanguage = lockingShiftTable(knownOrDefault(languages.locking)) != nullptr
                                  ? knownOrDefault(languages.locking)
                                  : 0;
  const ReverseTable& locking = tables.locking[lockingLanguage];
  const ReverseTable& shift = tables.shift[knownOrDefault(languages.shift)];
  std::vector<std::uint8_t> septets;
  septets.reserve(text.size());
  for (char16_t unit : text) {
    if (const auto septet = find(locking, unit)) {
      septets.push_back(*septet);
    } else if (const auto shifted = find(shift, unit)) {
      septets.push_back(kGsmEscape);
      septets.push_back(*shifted);
    } else {
      return std::nullopt;
    }
  }
  return septets;
}

}  // namespace parlane
