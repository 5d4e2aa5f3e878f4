#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "core/util/HexDigit.h"
#include "core/util/LineSplitter.h"

namespace parlane {
namespace {

struct SplitCase {
  const char* name;
  std::string text;
  LineSplitter::LastLine lastLine;
  std::vector<std::string> lines;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }

class LineSplitting : public testing::TestWithParam<SplitCase> {};

TEST_P(LineSplitting, GivesTheLines) {
  const SplitCase& c = GetParam();
  LineSplitter splitter(c.text, c.lastLine);
  std::vector<std::string> lines;
  std::string_view line;
  while (splitter.next(line)) lines.emplace_back(line);
  EXPECT_EQ(lines, c.lines);
  EXPECT_FALSE(splitter.next(line)) << "the end stays the end";
}

constexpr auto kStrip = LineSplitter::kStripLastCarriageReturn;
constexpr auto kKeep = LineSplitter::kKeepLastCarriageReturn;

INSTANTIATE_TEST_SUITE_P(
    Cases, LineSplitting,
    testing::Values(SplitCase{"Empty", "", kStrip, {}},
                    SplitCase{"OneLineFeed", "\n", kStrip, {""}},
                    SplitCase{"NoLineFeedAtTheEnd", "a\nb", kStrip, {"a", "b"}},
                    SplitCase{"LineFeedAtTheEnd", "a\nb\n", kStrip, {"a", "b"}},
                    SplitCase{"CrLf", "a\r\n\r\nb\r\n", kStrip, {"a", "", "b"}},
                    SplitCase{"OnlyOneCrGoes", "a\r\r\n", kStrip, {"a\r"}},
                    SplitCase{"CrInsideStays", "a\rb\n", kStrip, {"a\rb"}},
                    SplitCase{"LastCrStripped", "a\r\nb\r", kStrip, {"a", "b"}},
                    SplitCase{"LastCrKept", "a\r\nb\r", kKeep, {"a", "b\r"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HexDigit, ValuesOfBothCasesAndNothingElse) {
  const std::string digits = "0123456789abcdef";
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(hexDigitValue(static_cast<unsigned char>(digits[i])), i);
    EXPECT_EQ(hexDigitValue(static_cast<unsigned char>(std::toupper(digits[i]))), i);
  }
  for (const char32_t other : {U'/', U':', U'@', U'G', U'`', U'g', U' ', U'\0', U'\uFF10'}) {
    EXPECT_EQ(hexDigitValue(other), -1) << static_cast<unsigned>(other);
  }
}

}  // namespace
}  // namespace parlane
