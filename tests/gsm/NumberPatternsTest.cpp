#include <gtest/gtest.h>

#include <string>

#include "gsm/NumberPatterns.h"

namespace parlane {
namespace {

struct MatchCase {
  const char* name;
  std::u16string list;
  std::u16string number;
  std::u16string matchedBy;  // empty: no pattern names the number
};

const MatchCase kMatchCases[] = {
    {"PrefixNamesLongerNumber", u"+49", u"+4917012345", u"+49"},
    {"PrefixWithoutPlusNamesNumberWithPlus", u"49", u"+4917012345", u"49"},
    {"PrefixWithPlusNamesNumberWithoutPlus", u"+49", u"4917012345", u"+49"},
    {"InternationalZerosCountAsPlus", u"+49", u"004917012345", u"+49"},
    {"OtherCountryIsNotNamed", u"+49", u"+4317012345", u""},
    {"PrefixIsNotFoundInsideTheNumber", u"170", u"+4917012345", u""},
    {"NationalPrefix", u"0800", u"0800123456", u"0800"},
    {"NationalPrefixDoesNotNameInternationalForm", u"0800", u"+49800123456", u""},
    {"BlanksAndDashesInNumberIgnored", u"+49170", u"+49 170-123 45", u"+49170"},
    {"BlanksInPatternIgnored", u" +49 (170) ", u"+4917012345", u"+49 (170)"},
    {"SecondPatternOfList", u"+43, +49;+41", u"+4917012345", u"+49"},
    {"SemicolonSeparates", u"+43;+41", u"+41791234567", u"+41"},
    {"StarAloneNamesAll", u"*", u"+4917012345", u"*"},
    {"StarAtEnd", u"+49*", u"+4917012345", u"+49*"},
    {"StarAtStartEndsTheNumber", u"*999", u"+49170999", u"*999"},
    {"StarAtStartNeedsTheEnd", u"*999", u"+491709990", u""},
    {"StarInside", u"+49*00", u"+4917012300", u"+49*00"},
    {"StarInsideWithoutTheEnd", u"+49*00", u"+4917012301", u""},
    {"StarMatchesEmptyRun", u"+49*170*", u"+49170", u"+49*170*"},
    {"StarBacktracks", u"*12*34", u"+5121234", u"*12*34"},
    {"QuestionMarkIsOneDigit", u"+4917?", u"+49171", u"+4917?"},
    {"QuestionMarkNeedsADigit", u"+4917?", u"+4917", u""},
    {"AlphanumericSenderIgnoresCase", u"SpamCo", u"SPAMCO", u"SpamCo"},
    {"EmptyListNamesNothing", u"", u"+4917012345", u""},
    {"EmptyEntriesSkipped", u" , ;, +49", u"+4917012345", u"+49"},
    {"LonePlusIsNoPattern", u"+", u"+4917012345", u""},
    {"EmptyNumberIsNeverNamed", u"*", u"", u""},
};

class NumberPatternMatching : public testing::TestWithParam<MatchCase> {};

TEST_P(NumberPatternMatching, NamesTheNumberOrNot) {
  const MatchCase& c = GetParam();
  const NumberPatterns patterns = NumberPatterns::parse(c.list);
  EXPECT_EQ(std::u16string(patterns.match(c.number)), c.matchedBy);
  EXPECT_EQ(patterns.matches(c.number), !c.matchedBy.empty());
}

INSTANTIATE_TEST_SUITE_P(Numbers, NumberPatternMatching, testing::ValuesIn(kMatchCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct AllowCase {
  const char* name;
  std::u16string allow;
  std::u16string deny;
  std::u16string number;
  bool allowed;
};

const AllowCase kAllowCases[] = {
    {"NoListsAllowAll", u"", u"", u"+4917012345", true},
    {"EmptyAllowListAllowsWhatIsNotDenied", u"", u"+1900", u"+4917012345", true},
    {"DeniedNumber", u"", u"+1900", u"+19005551234", false},
    {"DeniedWithoutPlus", u"", u"+1900", u"19005551234", false},
    {"AllowListNamesIt", u"+49,+43", u"", u"+4317012345", true},
    {"AllowListDoesNotNameIt", u"+49,+43", u"", u"+4117012345", false},
    {"DenyWinsOverAllow", u"+49", u"+49900", u"+49900123456", false},
    {"AllowedBesideTheDeniedRange", u"+49", u"+49900", u"+49170123456", true},
    {"DenyAllWithExceptionsIsStillDenied", u"+49170", u"*", u"+49170123456", false},
};

class NumberAllowing : public testing::TestWithParam<AllowCase> {};

TEST_P(NumberAllowing, DenyWinsAndEmptyAllowListAllowsAll) {
  const AllowCase& c = GetParam();
  EXPECT_EQ(numberAllowed(c.number, NumberPatterns::parse(c.allow), NumberPatterns::parse(c.deny)),
            c.allowed);
}

INSTANTIATE_TEST_SUITE_P(Numbers, NumberAllowing, testing::ValuesIn(kAllowCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace parlane
