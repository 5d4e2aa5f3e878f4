#include <gtest/gtest.h>

#include <string>

#include "gsm/UssdText.h"

namespace parlane {
namespace {

struct UssdCase {
  const char* name;
  std::u16string text;
  int dcs;
  int mode;
  std::u16string expected;
};

const UssdCase kCases[] = {
    {"AutoHexUcs2", u"0041004200430044", 72, 0, u"ABCD"},
    {"AutoHexWithPlainScheme", u"0031", 15, 0, u"1"},
    {"AutoPlainTextUnchanged", u"Your balance: 5 EUR!", 15, 0, u"Your balance: 5 EUR!"},
    {"AutoOddLengthUnchanged", u"123", 72, 0, u"123"},
    {"AutoRawUcs2Characters", std::u16string(u"\x04\x10\x04\x11", 4), 72, 0, u"АБ"},
    {"AutoDropsIncompleteLastGroup", u"004100", 72, 0, u"A"},
    {"AutoEmpty", u"", 72, 0, u""},
    {"UnknownModeIsAuto", u"00410042", 15, 9, u"AB"},
    {"SendOnlyModeIsAuto", u"00410042", 15, 5, u"AB"},
    {"Text", u"0041", 72, 1, u"0041"},
    {"TextUnicode", std::u16string(u"\0A\0B", 4), 15, 2, u"AB"},
    {"TextUnicodeUsesLowOctets", u"\u0104\u0141", 15, 2, u"\u0441"},
    {"TextUnicodeOddLength", std::u16string(u"\0AB", 3), 15, 2, u"A"},
    {"DigitsUnicode", u"04100411", 15, 3, u"АБ"},
    {"DigitsUnicodeIncompleteGroup", u"0041004", 15, 3, u"A"},
    {"DigitsAscii", u"414243", 15, 4, u"ABC"},
    {"DigitsAsciiOddLength", u"41424", 15, 4, u"AB"},
    {"DigitsAsciiLowercase", u"6a6B", 15, 4, u"jk"},
};

void PrintTo(const UssdCase& c, std::ostream* os) { *os << c.name; }

class UssdDecoding : public testing::TestWithParam<UssdCase> {};

TEST_P(UssdDecoding, KnownAnswer) {
  const auto& c = GetParam();
  EXPECT_EQ(DecodeUssdText(c.text, c.dcs, c.mode), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Ussd, UssdDecoding, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace parlane
