#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace parlane {
namespace {

struct SplitCase {
  const char* line;
  std::vector<std::string> pieces;
};

class SplitCommandLine : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLine, SplitsAtBlanksOutsideQuotes) {
  EXPECT_EQ(splitCommandLine(GetParam().line), GetParam().pieces);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitCommandLine,
    testing::Values(SplitCase{"parlane", {"parlane"}},
                    SplitCase{"parlane -noicon /inst5", {"parlane", "-noicon", "/inst5"}},
                    SplitCase{"  parlane   -init  ", {"parlane", "-init"}},
                    SplitCase{"\"/opt/my apps/parlane\" -inst3",
                              {"/opt/my apps/parlane", "-inst3"}},
                    // An escaped quote neither opens nor closes a quoted stretch.
                    SplitCase{"p \\\"a b", {"p", "\\\"a", "b"}},
                    SplitCase{"p \"a \\\" b\" c", {"p", "a \\\" b", "c"}}, SplitCase{"", {}}));

struct SwitchCase {
  const char* line;
  StartupOptions::Action action;
  int instance;
  bool noIcon;
  bool systemProfile;
};

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
    testing::Values(SwitchCase{"parlane", A::Run, 0, false, false},
                    SwitchCase{"parlane -noicon", A::Run, 0, true, false},
                    SwitchCase{"parlane /NoIcon", A::Run, 0, true, false},
                    SwitchCase{"parlane -NOICON -inst5", A::Run, 5, true, false},
                    SwitchCase{"parlane -inst 5", A::Run, 0, false, false},
                    SwitchCase{"parlane -inst9999", A::Run, 9999, false, false},
                    SwitchCase{"parlane -inst10000", A::Run, 0, false, false},
                    SwitchCase{"parlane -inst-5", A::Run, 0, false, false},
                    SwitchCase{"parlane -inst7x", A::Run, 7, false, false},
                    // The instance prefix matches in lower case only.
                    SwitchCase{"parlane -INST5", A::Run, 0, false, false},
                    SwitchCase{"parlane -cfgservice", A::Run, 0, false, true},
                    SwitchCase{"parlane -RegServer -noicon", A::Exit, 0, false, false},
                    SwitchCase{"parlane /unregserver", A::Exit, 0, false, false},
                    SwitchCase{"parlane -inst4 -init -inst6", A::Init, 4, false, false},
                    SwitchCase{"parlane -viewauthor", A::ViewAuthor, 0, false, false},
                    SwitchCase{"parlane -unknown -noicon", A::Run, 0, true, false},
                    // The program path itself is never read for switches.
                    SwitchCase{"/usr/bin/-init", A::Run, 0, false, false}));

TEST(JoinCommandLine, QuotesPiecesWithBlanksSoTheSplitterGetsThemBack) {
  const std::vector<std::string> arguments{"/opt/my apps/parlane", "-inst3", "-noicon"};
  EXPECT_EQ(splitCommandLine(joinCommandLine(arguments)), arguments);
}

}  // namespace
}  // namespace parlane
