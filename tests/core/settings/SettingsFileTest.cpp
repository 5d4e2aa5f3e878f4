#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <ostream>
#include <string>

#include "core/settings/SettingsStore.h"
#include "support/TempDir.h"

namespace parlane {
namespace {

using test::TempDir;

unsigned modeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 0777;
}

// Comments, blank and unknown lines, a repeated key, a key with blanks, lines that look like
// settings but are not.
constexpr const char* kFixtureLines[] = {
    "# comment=with equals", "",
    "=starts with equals",   "a = b",
    "unknown line",          "modem.port=ttyUSB0",
    "sender.retries=1",      "modem.port=ttyUSB1",
};

std::string joined(const std::string& lineEnd) {
  std::string text;
  for (const char* line : kFixtureLines) text += std::string(line) + lineEnd;
  return text;
}

class SettingsFileTest : public testing::Test {
 protected:
  TempDir dir_;
  std::string path_ = dir_.file("valtorin.cfg");
};

TEST_F(SettingsFileTest, CrLfAndLfFilesLoadTheSame) {
  for (const std::string lineEnd : {"\n", "\r\n"}) {
    SCOPED_TRACE(lineEnd.size());
    dir_.write("valtorin.cfg", joined(lineEnd));
    SettingsStore store;
    ASSERT_TRUE(store.loadFromFile(path_));
    const std::map<std::string, std::u16string> expected = {
        {"a ", u" b"}, {"modem.port", u"ttyUSB1"}, {"sender.retries", u"1"}};
    EXPECT_EQ(store.snapshot(), expected);
    // The first of the repeated lines takes the value that won; the second stays.
    std::string saved = joined("\r\n");
    saved.replace(saved.find("ttyUSB0"), 7, "ttyUSB1");
    EXPECT_EQ(store.toFileText(), saved);
  }
}

TEST_F(SettingsFileTest, SaveKeepsLinesInPlaceAndAppendsNewKeysInKeyOrder) {
  dir_.write("valtorin.cfg", joined("\n"));
  SettingsStore store;
  ASSERT_TRUE(store.loadFromFile(path_));
  store.setString("modem.port", u"ttyS0");
  store.setString("zz.new", u"1");
  store.setString("aa.new", u"\u00e9\U0001F600");
  ASSERT_TRUE(store.saveToFile(path_));
  const std::string expected =
      "# comment=with equals\r\n\r\n=starts with equals\r\na = b\r\nunknown line\r\n"
      "modem.port=ttyS0\r\nsender.retries=1\r\nmodem.port=ttyUSB1\r\n"
      "aa.new=\xC3\xA9\xF0\x9F\x98\x80\r\nzz.new=1\r\n";
  EXPECT_EQ(dir_.read("valtorin.cfg"), expected);

  // Loading the saved file and saving it again changes nothing but the repeated key's first
  // line, and adds no blank line at the end.
  SettingsStore again;
  ASSERT_TRUE(again.loadFromFile(path_));
  EXPECT_EQ(again.getString("aa.new"), u"\u00e9\U0001F600");
  EXPECT_EQ(again.getString("modem.port"), u"ttyUSB1");
  ASSERT_TRUE(again.saveToFile(path_));
  std::string resaved = expected;
  resaved.replace(resaved.find("ttyS0"), 5, "ttyUSB1");
  EXPECT_EQ(dir_.read("valtorin.cfg"), resaved);
  SettingsStore third;
  ASSERT_TRUE(third.loadFromFile(path_));
  ASSERT_TRUE(third.saveToFile(path_));
  EXPECT_EQ(dir_.read("valtorin.cfg"), resaved);
}

struct ParseCase {
  const char* name;
  std::string text;
  std::map<std::string, std::u16string> settings;
  std::string savedText;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }

class ParseTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, ReadsSettingsAndKeepsLines) {
  SettingsStore store;
  ASSERT_TRUE(store.loadFromText(GetParam().text));
  EXPECT_EQ(store.snapshot(), GetParam().settings);
  EXPECT_EQ(store.toFileText(), GetParam().savedText);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseTest,
    testing::Values(
        ParseCase{"Empty", "", {}, ""},
        ParseCase{
            "LastLineWithoutLineFeed", "a=1\nb=2", {{"a", u"1"}, {"b", u"2"}}, "a=1\r\nb=2\r\n"},
        ParseCase{"ValueHoldsEquals", "x=a=b\n", {{"x", u"a=b"}}, "x=a=b\r\n"},
        ParseCase{"ByteOrderMarkIsSkipped",
                  "\xEF\xBB\xBFmodem.port=ttyUSB0\r\nx=1\r\n",
                  {{"modem.port", u"ttyUSB0"}, {"x", u"1"}},
                  "modem.port=ttyUSB0\r\nx=1\r\n"},
        ParseCase{"RepeatedLeadingMarksAreSkipped",
                  "\xEF\xBB\xBF\xEF\xBB\xBF\xFF\xFF=1\n",
                  {{"\xFF\xFF", u"1"}},
                  "\xFF\xFF=1\r\n"},
        ParseCase{"OnlyALeadingMarkIsSkipped",
                  "x=\xEF\xBB\xBF\n\xEF\xBB\xBFy=2\n",
                  {{"x", u"\uFEFF"}, {"\xEF\xBB\xBFy", u"2"}},
                  "x=\xEF\xBB\xBF\r\n\xEF\xBB\xBFy=2\r\n"},
        ParseCase{"EmptyValue", "x=\n", {{"x", u""}}, "x=\r\n"},
        ParseCase{"InnerCarriageReturnStays", "x=a\rb\r\n", {{"x", u"a\rb"}}, "x=a\rb\r\n"},
        ParseCase{"BlankLinesStay", "\n\r\n\nx=1\n", {{"x", u"1"}}, "\r\n\r\n\r\nx=1\r\n"},
        ParseCase{"InvalidUtf8BecomesReplacement",
                  "x=\xFF\xC3(\n",
                  {{"x", u"\uFFFD\uFFFD("}},
                  "x=\xEF\xBF\xBD\xEF\xBF\xBD(\r\n"},
        ParseCase{"TruncatedSequence",
                  "name=caf\xC3",
                  {{"name", u"caf\uFFFD"}},
                  "name=caf\xEF\xBF\xBD\r\n"},
        ParseCase{"NulBytes",
                  std::string("k\0ey=va\0lue\n\0=x\n", 16),
                  {{std::string("k\0ey", 4), std::u16string(u"va\0lue", 6)},
                   {std::string("\0", 1), u"x"}},
                  std::string("k\0ey=va\0lue\r\n\0=x\r\n", 18)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsText, RepeatedKeySaveRewritesOnlyTheFirstLine) {
  SettingsStore store;
  store.loadFromText("k=first\nother=1\nk=second\n");
  EXPECT_EQ(store.getString("k"), u"second");
  store.setString("k", u"third");
  EXPECT_EQ(store.toFileText(), "k=third\r\nother=1\r\nk=second\r\n");
}

TEST(SettingsText, KeyHoldingEqualsRewritesTheLineItBegins) {
  SettingsStore store;
  store.loadFromText("a=b=c\n");
  store.setString("a=b", u"x");
  EXPECT_EQ(store.toFileText(), "a=b=x\r\n");
}

TEST(SettingsText, LineBreakInAValueCannotInjectASetting) {
  SettingsStore store;
  store.setString("address.0", u"+4917\r\nmodem.pin=0000");
  const std::string text = store.toFileText();
  EXPECT_EQ(text, "address.0=+4917\r modem.pin=0000\r\n");
  SettingsStore reloaded;
  reloaded.loadFromText(text);
  EXPECT_FALSE(reloaded.contains("modem.pin"));
}

TEST(SettingsText, OverLongLineLoads) {
  std::string text = "big=" + std::string(10 * 1024 * 1024, 'v') + "\nsmall=1\n";
  SettingsStore store;
  ASSERT_TRUE(store.loadFromText(text));
  EXPECT_EQ(store.getString("big").size(), 10u * 1024 * 1024);
  EXPECT_EQ(store.getInt("small"), 1);
}

struct BadFileCase {
  const char* name;
  std::function<void(const TempDir&, const std::string& path)> make;
  bool needsNonRoot;
};

void PrintTo(const BadFileCase& c, std::ostream* os) { *os << c.name; }

class BadFileTest : public testing::TestWithParam<BadFileCase> {};

TEST_P(BadFileTest, FailedLoadChangesNothing) {
  if (GetParam().needsNonRoot && ::geteuid() == 0) GTEST_SKIP() << "root reads any file";
  TempDir dir;
  const std::string path = dir.file("valtorin.cfg");
  GetParam().make(dir, path);
  SettingsStore store;
  store.loadFromText("# kept\nkeep=1\n");
  const auto before = store.snapshot();
  EXPECT_FALSE(store.loadFromFile(path));
  EXPECT_EQ(store.snapshot(), before);
  EXPECT_EQ(store.toFileText(), "# kept\r\nkeep=1\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadFileTest,
    testing::Values(BadFileCase{"Missing", [](const TempDir&, const std::string&) {}, false},
                    BadFileCase{"Directory",
                                [](const TempDir&, const std::string& path) {
                                  ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
                                },
                                false},
                    BadFileCase{"Unreadable",
                                [](const TempDir& dir, const std::string& path) {
                                  dir.write("valtorin.cfg", "keep=2\n");
                                  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
                                },
                                true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsFileTest, SavedFileIsPrivate) {
  dir_.write("valtorin.cfg", "a=1\n");
  ASSERT_EQ(::chmod(path_.c_str(), 0644), 0);
  SettingsStore store;
  store.setString("modem.pin", u"1234");
  ASSERT_TRUE(store.saveToFile(dir_.file("new.cfg")));
  EXPECT_EQ(modeOf(dir_.file("new.cfg")), 0600u);
  ASSERT_TRUE(store.saveToFile(path_));
  EXPECT_EQ(modeOf(path_), 0600u);
}

struct BadSaveCase {
  const char* name;
  // Returns the path to save to; the old file at that path (if any) must survive.
  std::function<std::string(const TempDir&)> make;
  bool needsNonRoot;
};

void PrintTo(const BadSaveCase& c, std::ostream* os) { *os << c.name; }

class BadSaveTest : public testing::TestWithParam<BadSaveCase> {};

TEST_P(BadSaveTest, FailsAndLeavesTheOldFile) {
  if (GetParam().needsNonRoot && ::geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
  TempDir dir;
  const std::string path = GetParam().make(dir);
  struct stat st {};
  const bool hadFile = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  SettingsStore store;
  store.setString("modem.port", u"ttyUSB0");
  EXPECT_FALSE(store.saveToFile(path));
  if (hadFile) {
    std::ifstream in(path, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "old=1\n");
  }
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp."), std::string::npos)
        << "left behind: " << entry.path();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadSaveTest,
    testing::Values(BadSaveCase{"UnwritableFolder",
                                [](const TempDir& dir) {
                                  dir.write("ro/valtorin.cfg", "old=1\n");
                                  EXPECT_EQ(::chmod(dir.file("ro").c_str(), 0500), 0);
                                  return dir.file("ro/valtorin.cfg");
                                },
                                true},
                    // No room in the name for the temporary file: fails even for root.
                    BadSaveCase{"NoTemporaryFilePossible",
                                [](const TempDir& dir) {
                                  const std::string name(250, 'c');
                                  dir.write(name, "old=1\n");
                                  return dir.file(name);
                                },
                                false},
                    BadSaveCase{"MissingFolder",
                                [](const TempDir& dir) { return dir.file("missing/valtorin.cfg"); },
                                false},
                    BadSaveCase{"PathIsAFolder",
                                [](const TempDir& dir) {
                                  EXPECT_EQ(::mkdir(dir.file("folder").c_str(), 0700), 0);
                                  return dir.file("folder");
                                },
                                false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace parlane
