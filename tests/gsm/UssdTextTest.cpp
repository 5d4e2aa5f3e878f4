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
    {"AutoHexDigitsWithPlainSchemeStayText", u"0031", 15, 0, u"0031"},
    {"AutoPlainDigitsStayText", u"1234", 15, 0, u"1234"},
    {"AutoPackedSevenBit", u"C2303BEC1E9775A09A0B060315AB52", 15, 0, u"Balance: 5.00 EUR"},
    {"AutoPackedSevenBitLowercase", u"e8329bfd4697d9ec37", 15, 0, u"hellohello"},
    {"AutoPackedDigits", u"31D98C06", 15, 0, u"1234"},
    {"AutoPackedCarriageReturnPadding", u"41E19058341E1B", 15, 0, u"ABCDEFG"},
    {"AutoPackedWithOtherLanguageScheme", u"E8329BFD4697D9EC37", 0x01, 0, u"hellohello"},
    {"AutoHexThatUnpacksToGarbageStaysText", u"1A2B", 15, 0, u"1A2B"},
    {"AutoHexWithSpareBitsSetStaysText", u"E8329BFD4697D9ECF7", 15, 0, u"E8329BFD4697D9ECF7"},
    {"AutoHexUcs2GeneralScheme", u"04100411", 0x48, 0, u"АБ"},
    {"AutoHexUcs2ClassScheme", u"04100411", 0x58, 0, u"АБ"},
    {"AutoHexUcs2AfterLanguage", u"653700410042", 0x11, 0, u"AB"},
    {"AutoEightBitSchemeStaysText", u"00410042", 0x44, 0, u"00410042"},
    {"AutoPlainTextUnchanged", u"Your balance: 5 EUR!", 15, 0, u"Your balance: 5 EUR!"},
    {"AutoOddLengthUnchanged", u"123", 72, 0, u"123"},
    {"AutoRawUcs2Characters", std::u16string(u"\x04\x10\x04\x11", 4), 72, 0, u"АБ"},
    {"AutoDropsIncompleteLastGroup", u"004100", 72, 0, u"A"},
    {"AutoEmpty", u"", 72, 0, u""},
    {"UnknownModeIsAuto", u"00410042", 72, 9, u"AB"},
    {"SendOnlyModeIsAuto", u"00410042", 72, 5, u"AB"},
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
  EXPECT_EQ(decodeUssdText(c.text, c.dcs, c.mode), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Ussd, UssdDecoding, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace parlane
