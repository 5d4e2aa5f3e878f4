#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gsm/NationalLanguageList.h"

namespace parlane {
namespace {

struct ListCase {
  const char* name;
  std::u16string text;
  std::vector<int> languages;
  std::vector<std::u16string> rejected;
};

void PrintTo(const ListCase& c, std::ostream* out) { *out << c.name; }

class NationalLanguageList : public testing::TestWithParam<ListCase> {};

TEST_P(NationalLanguageList, KeepsTheValidIdsOnce) {
  std::vector<std::u16string> rejected;
  EXPECT_EQ(parseNationalLanguages(GetParam().text, &rejected), GetParam().languages);
  EXPECT_EQ(rejected, GetParam().rejected);
}

INSTANTIATE_TEST_SUITE_P(
    Setting, NationalLanguageList,
    testing::Values(ListCase{"Empty", u"", {}, {}}, ListCase{"One", u"1", {1}, {}},
                    ListCase{"CommasAndSpaces", u" 1, 3;13\t2 ", {1, 3, 13, 2}, {}},
                    ListCase{"DefaultAlphabetAlone", u"0", {0}, {}},
                    ListCase{"Duplicates", u"1,1,01", {1}, {}},
                    ListCase{"OutOfRange", u"14,1", {1}, {u"14"}},
                    ListCase{"NotANumber", u"tr,-1,2x,3", {3}, {u"tr", u"-1", u"2x"}},
                    ListCase{"TooManyDigits", u"001", {}, {u"001"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace parlane
