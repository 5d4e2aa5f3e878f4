#include <gtest/gtest.h>

#include "storage/ContentEscaping.h"

namespace parlane {
namespace {

struct EscapeCase {
  const char* name;
  const char16_t* text;
  const char16_t* stored;
  const char16_t* readBack;
};

void PrintTo(const EscapeCase& c, std::ostream* os) { *os << c.name; }

class ContentEscaping : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(ContentEscaping, StoresOnOneLineAndReadsBack) {
  const std::u16string stored = escapeContent(GetParam().text);
  EXPECT_EQ(stored, GetParam().stored);
  EXPECT_EQ(stored.find_first_of(u"\t\r\n"), std::u16string::npos);
  EXPECT_EQ(unescapeContent(stored), GetParam().readBack);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ContentEscaping,
    ::testing::Values(EscapeCase{"Plain", u"plain 100%", u"plain 100%", u"plain 100%"},
                      EscapeCase{"LineBreak", u"two\r\nlines", u"two%0D%0Alines", u"two\r\nlines"},
                      EscapeCase{"Tab", u"tab\there", u"tab%09here", u"tab\there"},
                      EscapeCase{"BreaksAndTabOnly", u"\n\r\t", u"%0A%0D%09", u"\n\r\t"},
                      // Escapes typed by the user come back as the characters they name.
                      EscapeCase{"TypedEscapeReadsAsCharacter", u"say %0a twice", u"say %0a twice",
                                 u"say \n twice"},
                      EscapeCase{"TypedEscapesOnly", u"%0D%0d%0A%09", u"%0D%0d%0A%09", u"\r\r\n\t"},
                      EscapeCase{"NotAnEscape", u"%0x %1A %", u"%0x %1A %", u"%0x %1A %"},
                      EscapeCase{"CutShortEscape", u"end %0", u"end %0", u"end %0"},
                      EscapeCase{"Empty", u"", u"", u""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ContentEscaping, OlderFilesReadAsBefore) {
  // Only CR and LF were escaped before; a stored "%25" or "%09" reads as the same text it did,
  // except that "%09" now also stands for a TAB.
  EXPECT_EQ(unescapeContent(u"50%25 off%0D%0A"), u"50%25 off\r\n");
}

TEST(FlattenField, ReplacesBreaksAndTabsWithSpaces) {
  EXPECT_EQ(flattenField(u"a\tb\r\nc"), u"a b  c");
  EXPECT_EQ(flattenField(u"+49 170"), u"+49 170");
}

}  // namespace
}  // namespace parlane
