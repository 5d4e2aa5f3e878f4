#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/settings/RegistryHive.h"
#include "support/TempDir.h"

namespace parlane {
namespace {

using test::TempDir;

constexpr const char* kKey = "Software\\Quortane SMS\\Parlane 5";

std::vector<std::u16string> namesOf(const std::vector<RegistryValue>& values) {
  std::vector<std::u16string> names;
  for (const auto& value : values) names.push_back(value.name);
  return names;
}

TEST(RegistryHive, KeyIsAFileAtItsPathUnderTheHive) {
  RegistryHive hive("/hive");
  EXPECT_EQ(hive.keyPath(kKey), "/hive/Software/Quortane SMS/Parlane 5");
}

TEST(RegistryHive, RejectsKeyPathsThatLeaveTheHive) {
  for (const char* bad : {"", "a\\\\b", "..\\x", "a\\.\\b", "a/b", "\\a", "a\\"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(RegistryHive::isValidSubKey(bad));
  }
  EXPECT_TRUE(RegistryHive::isValidSubKey("Software\\Quortane SMS\\Parlane"));
  EXPECT_TRUE(RegistryHive::isValidSubKey("..a\\b.."));
  TempDir dir;
  RegistryHive hive(dir.file("hive"));
  EXPECT_FALSE(hive.createKey("..\\escape"));
  EXPECT_FALSE(hive.setValue("a/b", {u"x", "REG_SZ", u"1"}));
}

TEST(RegistryHive, CreateKeyMakesFoldersAndLeavesAnExistingKeyAlone) {
  TempDir dir;
  RegistryHive hive(dir.file("hive"));
  EXPECT_FALSE(hive.keyExists(kKey));
  EXPECT_FALSE(hive.readValues(kKey));
  ASSERT_TRUE(hive.createKey(kKey));
  EXPECT_TRUE(hive.keyExists(kKey));
  EXPECT_EQ(hive.readValues(kKey), std::vector<RegistryValue>{});
  ASSERT_TRUE(hive.setValue(kKey, {u"a", "REG_SZ", u"1"}));
  ASSERT_TRUE(hive.createKey(kKey));
  EXPECT_EQ(namesOf(*hive.readValues(kKey)), std::vector<std::u16string>{u"a"});
  struct stat st {};
  ASSERT_EQ(::stat(hive.keyPath(kKey).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(RegistryHive, KeyFileIsOneReadableLinePerValue) {
  TempDir dir;
  RegistryHive hive(dir.path());
  ASSERT_TRUE(hive.writeValues(
      "K", {{u"modem.port", "REG_SZ", u"ttyUSB0"}, {u"status.file", "REG_SZ", u"a\tb\r\nc"}}));
  const std::string text = dir.read("K");
  EXPECT_NE(text.find("\nmodem.port\tREG_SZ\tttyUSB0\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nstatus.file\tREG_SZ\ta\\tb\\r\\nc\n"), std::string::npos) << text;
}

TEST(RegistryHive, AnyTextSurvivesTheKeyFile) {
  const std::vector<std::u16string> texts = {
      u"",
      u"plain",
      u"back\\slash \\n not an escape",
      u"\t\r\n\v\f\x7f",
      std::u16string(u"nul\0inside", 10),
      u"#looks like a comment",
      u"\u00e9\u4e2d\U0001F600",
      std::u16string{u'a', char16_t(0xD800), u'b'},  // unpaired surrogates
      std::u16string{char16_t(0xDC00)},
      u"\\u0041",
  };
  std::vector<RegistryValue> values;
  for (size_t i = 0; i < texts.size(); ++i) {
    values.push_back({texts[i], i % 2 ? "REG_SZ" : "REG_EXPAND_SZ", texts[i]});
  }
  // Unique names: the empty one only once.
  values[0].name = u"";
  TempDir dir;
  RegistryHive hive(dir.path());
  ASSERT_TRUE(hive.writeValues("K", values));
  EXPECT_EQ(hive.readValues("K"), values);
}

struct MalformedCase {
  const char* name;
  std::string text;
  std::vector<std::u16string> names;  // values read
  std::vector<size_t> skippedLines;   // line numbers of the lines that could not be read
};

void PrintTo(const MalformedCase& c, std::ostream* os) { *os << c.name; }

class MalformedKeyFileTest : public testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedKeyFileTest, SkipsTheBadLineAndReadsTheRest) {
  TempDir dir;
  dir.write("K", GetParam().text);
  std::vector<UnreadableKeyLine> unreadable;
  const auto values = RegistryHive(dir.path()).readValues("K", &unreadable);
  ASSERT_TRUE(values);
  EXPECT_EQ(namesOf(*values), GetParam().names);
  std::vector<size_t> skipped;
  for (const auto& line : unreadable) skipped.push_back(line.lineNumber);
  EXPECT_EQ(skipped, GetParam().skippedLines);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedKeyFileTest,
    testing::Values(
        MalformedCase{"NoTabs", "a\tREG_SZ\t1\nbroken\nb\tREG_SZ\t2\n", {u"a", u"b"}, {2}},
        MalformedCase{"OneTab", "a\tREG_SZ\t1\nb\tREG_SZ\n", {u"a"}, {2}},
        MalformedCase{"ExtraTab", "a\tREG_SZ\t1\t2\nb\tREG_SZ\t2\n", {u"b"}, {1}},
        MalformedCase{"EmptyType", "a\t\t1\n", {}, {1}},
        MalformedCase{
            "UnknownEscape", "a\tREG_SZ\t1\nb\tREG_SZ\t\\q\nc\tREG_SZ\t3\n", {u"a", u"c"}, {2}},
        MalformedCase{"UnknownEscapeOnTheFirstLine",
                      "x\tREG_SZ\tC:\\Users\\q\na\tREG_SZ\t1\nb\tREG_SZ\t2\n",
                      {u"a", u"b"},
                      {1}},
        MalformedCase{"ShortUnicodeEscape", "a\tREG_SZ\t\\u12\n", {}, {1}},
        MalformedCase{"BadHexEscape", "a\tREG_SZ\t\\u12G4\n", {}, {1}},
        MalformedCase{"TrailingBackslash", "a\tREG_SZ\tx\\\n", {}, {1}},
        MalformedCase{"TruncatedLastLine", "a\tREG_SZ\t1\nb\tREG", {u"a"}, {2}},
        MalformedCase{"Binary", std::string("\0\xff\x01\x02\n\0\t\t\n", 9), {}, {1, 2}},
        MalformedCase{"CommentsBlankLinesAndCrLfAreFine",
                      "# header\r\n\r\na\tREG_SZ\t1\r\n#\tREG_SZ\t2\nb\tREG_SZ\t2\r\n",
                      {u"a", u"b"},
                      {}},
        MalformedCase{"InvalidUtf8IsReplaced", "\xff\tREG_SZ\t\xc3\n", {u"\uFFFD"}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RegistryHive, RewritingAKeyKeepsItsUnreadableLinesInPlace) {
  TempDir dir;
  dir.write("K", "a\tREG_SZ\t1\nb\tREG_SZ\tC:\\q\r\nc\tREG_SZ\t3\ncut\tREG");
  RegistryHive hive(dir.path());
  ASSERT_TRUE(hive.setValues("K", {{u"c", "REG_SZ", u"33"}, {u"d", "REG_SZ", u"4"}}));
  ASSERT_TRUE(hive.deleteValue("K", u"a"));
  const std::string text = dir.read("K");
  EXPECT_EQ(text.substr(text.find('\n') + 1),
            "b\tREG_SZ\tC:\\q\r\nc\tREG_SZ\t33\ncut\tREG\nd\tREG_SZ\t4\n");
  std::vector<UnreadableKeyLine> unreadable;
  EXPECT_EQ(namesOf(*hive.readValues("K", &unreadable)), (std::vector<std::u16string>{u"c", u"d"}));
  EXPECT_EQ(unreadable.size(), 2u);
}

TEST(RegistryHive, UnreadableKeyReadsAsMissing) {
  TempDir dir;
  ASSERT_EQ(::mkdir(dir.file("K").c_str(), 0700), 0);
  RegistryHive hive(dir.path());
  EXPECT_FALSE(hive.keyExists("K"));
  EXPECT_FALSE(hive.readValues("K"));
  EXPECT_FALSE(hive.setValue("K", {u"a", "REG_SZ", u"1"}));
}

TEST(RegistryHive, SetKeepsPositionsAndDeleteRemoves) {
  TempDir dir;
  RegistryHive hive(dir.path());
  ASSERT_TRUE(hive.setValue(kKey, {u"b", "REG_SZ", u"1"}));
  ASSERT_TRUE(hive.setValue(kKey, {u"a", "REG_SZ", u"2"}));
  ASSERT_TRUE(hive.setValue(kKey, {u"b", "REG_SZ", u"3"}));
  ASSERT_TRUE(hive.setValues(kKey, {{u"c", "REG_SZ", u"4"}, {u"a", "REG_SZ", u"5"}}));
  auto values = hive.readValues(kKey);
  ASSERT_TRUE(values);
  EXPECT_EQ(namesOf(*values), (std::vector<std::u16string>{u"b", u"a", u"c"}));
  EXPECT_EQ((*values)[0].data, u"3");
  EXPECT_EQ((*values)[1].data, u"5");

  EXPECT_TRUE(hive.deleteValue(kKey, u"a"));
  EXPECT_FALSE(hive.deleteValue(kKey, u"a"));
  EXPECT_FALSE(hive.deleteValue("Missing", u"a"));
  EXPECT_EQ(namesOf(*hive.readValues(kKey)), (std::vector<std::u16string>{u"b", u"c"}));
}

class EnvironmentGuard {
 public:
  explicit EnvironmentGuard(const char* name) : name_(name) {
    if (const char* value = std::getenv(name)) saved_ = value;
  }
  ~EnvironmentGuard() {
    if (saved_) {
      ::setenv(name_, saved_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

TEST(RegistryHive, HiveFolders) {
  EnvironmentGuard config("XDG_CONFIG_HOME");
  EnvironmentGuard home("HOME");
  ::setenv("HOME", "/home/someone", 1);
  ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(RegistryHive::currentUser().folder(), "/cfg/Quortane SMS/registry");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(RegistryHive::currentUser().folder(), "/home/someone/.config/Quortane SMS/registry");
  ::setenv("XDG_CONFIG_HOME", "relative", 1);
  EXPECT_EQ(RegistryHive::currentUser().folder(), "/home/someone/.config/Quortane SMS/registry");
  EXPECT_EQ(RegistryHive::systemAccount().folder(), "/var/lib/Quortane SMS/registry");
}

}  // namespace
}  // namespace parlane
