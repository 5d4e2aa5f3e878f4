#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace parlane {
namespace {

struct SplitCase {
  const char* name;
  const char* line;
  std::vector<std::string> pieces;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }

class SplitCommandLine : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLine, SplitsAtBlanksOutsideQuotes) {
  EXPECT_EQ(splitCommandLine(GetParam().line), GetParam().pieces);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitCommandLine,
    testing::Values(
        SplitCase{"ProgramOnly", "parlane", {"parlane"}},
        SplitCase{"TwoSwitches", "parlane -noicon /inst5", {"parlane", "-noicon", "/inst5"}},
        SplitCase{"RunsOfBlanks", "  parlane   -init  ", {"parlane", "-init"}},
        SplitCase{"QuotedPathWithBlank",
                  "\"/opt/my apps/parlane\" -inst3",
                  {"/opt/my apps/parlane", "-inst3"}},
        // An escaped quote neither opens nor closes a quoted stretch.
        SplitCase{"EscapedQuoteOutsideQuotes", "p \\\"a b", {"p", "\\\"a", "b"}},
        SplitCase{"EscapedQuoteInsideQuotes", "p \"a \\\" b\" c", {"p", "a \\\" b", "c"}},
        SplitCase{"Empty", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct SwitchCase {
  const char* name;
  const char* line;
  StartupOptions::Action action;
  int instance;
  bool noIcon;
  bool systemProfile;
};

void PrintTo(const SwitchCase& c, std::ostream* os) { *os << c.name; }

class ParseSwitches : public testing::TestWithParam<SwitchCase> {};

TEST_P(ParseSwitches, SetsOptions) {
  const SwitchCase& c = GetParam();
  const StartupOptions options = parseSwitches(splitCommandLine(c.line));
  EXPECT_EQ(options.action, c.action) << c.line;
  EXPECT_EQ(options.instance, c.instance) << c.line;
  EXPECT_EQ(options.noIcon, c.noIcon) << c.line;
  EXPECT_EQ(options.systemProfile, c.systemProfile) << c.line;
}

using A = StartupOptions::Action;
INSTANTIATE_TEST_SUITE_P(
    Cases, ParseSwitches,
    testing::Values(
        SwitchCase{"NoSwitches", "parlane", A::Run, 0, false, false},
        SwitchCase{"NoIcon", "parlane -noicon", A::Run, 0, true, false},
        SwitchCase{"SlashAndMixedCase", "parlane /NoIcon", A::Run, 0, true, false},
        SwitchCase{"UpperCaseWithInstance", "parlane -NOICON -inst5", A::Run, 5, true, false},
        SwitchCase{"InstanceAsNextArgument", "parlane -inst 5", A::Run, 5, false, false},
        SwitchCase{"InstanceThenNoIcon", "parlane -inst 2 -noicon", A::Run, 2, true, false},
        SwitchCase{"InstanceGluedToNextSwitch", "parlane -inst5-noicon", A::Run, 5, true, false},
        SwitchCase{"LargestInstance", "parlane -inst9999", A::Run, 9999, false, false},
        SwitchCase{"SystemProfile", "parlane -cfgservice", A::Run, 0, false, true},
        SwitchCase{"RegServerExits", "parlane -RegServer -noicon", A::Exit, 0, false, false},
        SwitchCase{"UnregServerExits", "parlane /unregserver", A::Exit, 0, false, false},
        SwitchCase{"InitTakesTheFirstInstance", "parlane -inst4 -init -inst6", A::Init, 4, false,
                   false},
        SwitchCase{"ViewAuthor", "parlane -viewauthor", A::ViewAuthor, 0, false, false},
        // The program path itself is never read for switches.
        SwitchCase{"ProgramPathIsNoSwitch", "/usr/bin/-init", A::Run, 0, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadSwitchCase {
  const char* name;
  const char* line;
  const char* error;
};

void PrintTo(const BadSwitchCase& c, std::ostream* os) { *os << c.name; }

class BadSwitches : public testing::TestWithParam<BadSwitchCase> {};

// A mistake on the command line stops the program instead of running another instance.
TEST_P(BadSwitches, StopWithAMessageThatNamesTheMistake) {
  const BadSwitchCase& c = GetParam();
  const StartupOptions options = parseSwitches(splitCommandLine(c.line));
  EXPECT_EQ(options.error, c.error) << c.line;
  EXPECT_EQ(options.action, A::Run) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadSwitches,
    testing::Values(BadSwitchCase{"UnknownSwitch", "parlane -unknown -noicon",
                                  "Unknown switch '-unknown'"},
                    // The instance prefix matches in lower case only.
                    BadSwitchCase{"UpperCaseInst", "parlane -INST5", "Unknown switch '-INST5'"},
                    BadSwitchCase{"StrayArgument", "parlane inst 2", "Unexpected argument 'inst'"},
                    BadSwitchCase{"InstWithoutNumber", "parlane -noicon -inst",
                                  "The switch 'inst' needs an instance number (0 to 9999)"},
                    BadSwitchCase{"InstAboveRange", "parlane -inst10000",
                                  "Bad instance number '10000' for the switch 'inst' (0 to 9999)"},
                    BadSwitchCase{"InstNegative", "parlane -inst-5",
                                  "Bad instance number '-5' for the switch 'inst' (0 to 9999)"},
                    BadSwitchCase{"InstTrailingLetters", "parlane -inst7x",
                                  "Bad instance number '7x' for the switch 'inst' (0 to 9999)"},
                    BadSwitchCase{"InstNextPieceNotANumber", "parlane -inst two",
                                  "Bad instance number 'two' for the switch 'inst' (0 to 9999)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(JoinCommandLine, QuotesPiecesWithBlanksSoTheSplitterGetsThemBack) {
  const std::vector<std::string> arguments{"/opt/my apps/parlane", "-inst3", "-noicon"};
  EXPECT_EQ(splitCommandLine(joinCommandLine(arguments)), arguments);
}

}  // namespace
}  // namespace parlane
