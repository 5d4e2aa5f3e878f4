#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "LoggerTestSupport.h"
#include "core/log/Logger.h"
#include "core/util/Utf.h"
#include "support/TempDir.h"

namespace parlane {
namespace {

using test::logLines;

class LoggerTest : public testing::Test {
 protected:
  std::string read() const { return dir_.read("valtorin.log"); }
  std::vector<std::string> lines() const { return logLines(read()); }
  std::vector<std::string> rotatedLines() const { return logLines(dir_.read("valtorin.log.1")); }
  bool exists(const std::string& name) const { return std::filesystem::exists(dir_.file(name)); }
  // The texts of the log lines, without their prefixes.
  std::vector<std::string> texts(const std::vector<std::string>& lines) const {
    std::vector<std::string> out;
    for (const auto& line : lines) out.push_back(line.substr(line.find("] ") + 2));
    return out;
  }

  test::TempDir dir_;
  std::string path_ = dir_.file("valtorin.log");
};

struct LevelCase {
  const char* name;
  int threshold;        // set with setLevel first
  int configuredLevel;  // then given to applyConfiguredLevel, unless -100
  std::vector<std::string> expected;
};

TEST_F(LoggerTest, LevelsBelowTheThresholdAreDropped) {
  const LevelCase cases[] = {
      {"threshold 0 at construction", 0, -100, {"L0", "L1", "L2", "L3"}},
      {"threshold 2", 2, -100, {"L2", "L3"}},
      {"threshold 10", 10, -100, {}},
      {"logger.level 0 is all", 10, 0, {"L0", "L1", "L2", "L3"}},
      {"logger.level 1 is errors", 0, 1, {"L2", "L3"}},
      {"logger.level 2 is none", 0, 2, {}},
      {"other logger.level values change nothing", 2, 3, {"L2", "L3"}},
      {"negative logger.level changes nothing", 2, -1, {"L2", "L3"}},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(path_);
    Logger logger(path_);
    logger.setLevel(c.threshold);
    if (c.configuredLevel != -100) logger.applyConfiguredLevel(c.configuredLevel);
    for (int level = 0; level <= 3; ++level) {
      logger.write(level, u"L" + std::u16string(1, static_cast<char16_t>(u'0' + level)));
    }
    EXPECT_EQ(texts(lines()), c.expected) << c.name;
  }
}

TEST_F(LoggerTest, LinePrefixHoldsLocalTimeAndThreadNumber) {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  Logger logger(path_);
  const std::time_t before = std::time(nullptr);
  logger.write(0, u"Sent: AT");
  const std::time_t after = std::time(nullptr);

  const std::string content = read();
  std::smatch m;
  const std::regex line(
      R"(\[(\d{2})-(\d{2})-(\d{4}) (\d{2}):(\d{2}):(\d{2})\.(\d{3}) (\d{4,5})\] Sent: AT\r\n)");
  ASSERT_TRUE(std::regex_match(content, m, line)) << content;

  char expectedThread[8];
  std::snprintf(expectedThread, sizeof expectedThread, "%04d", ::gettid() & 0xFFFF);
  EXPECT_EQ(m[8], expectedThread);

  std::set<std::string> possibleTimes;
  for (std::time_t t : {before, after}) {
    std::tm tm{};
    ::gmtime_r(&t, &tm);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%d-%m-%Y %H:%M:%S", &tm);
    possibleTimes.insert(buffer);
  }
  const std::string written = m[1].str() + "-" + m[2].str() + "-" + m[3].str() + " " + m[4].str() +
                              ":" + m[5].str() + ":" + m[6].str();
  EXPECT_TRUE(possibleTimes.count(written)) << written;
}

TEST_F(LoggerTest, LineStampsComeFromTheGivenClock) {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  ManualClock clock(0, 1'700'000'000);  // 14-11-2023 22:13:20 UTC
  Logger logger(path_, clock);
  logger.write(0, u"first");
  clock.advance(61'250);
  logger.write(0, u"second");
  const auto written = lines();
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(written[0].substr(0, 25), "[14-11-2023 22:13:20.000 ");
  EXPECT_EQ(written[1].substr(0, 25), "[14-11-2023 22:14:21.250 ");
}

TEST_F(LoggerTest, TextIsWrittenAsUtf8) {
  Logger logger(path_);
  logger.write(0, u"Got SMS from \u041F\u0440\u0438\u0432\u0435\u0442 \U0001F600");
  logger.write(0, std::string_view("modem noise \xFF\xC3 end"));
  logger.write(0, std::string_view("\xD0\x9F"));
  EXPECT_EQ(texts(lines()),
            (std::vector<std::string>{
                "Got SMS from \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xF0\x9F\x98\x80",
                "modem noise \xEF\xBF\xBD\xEF\xBF\xBD end", "\xD0\x9F"}));
}

struct EscapeCase {
  const char* name;
  std::string text;
  std::string logged;
};

TEST_F(LoggerTest, ControlCharactersAreEscapedSoNoLineCanBeForged) {
  const EscapeCase cases[] = {
      {"line feed", "Got SMS\n[01-01-2026 00:00:00.000 0001] Parlane stopped",
       "Got SMS\\n[01-01-2026 00:00:00.000 0001] Parlane stopped"},
      {"carriage return and tab", "a\rb\tc", "a\\rb\\tc"},
      {"escape sequence setting the title", "x\x1b]0;owned\x07y", "x\\x1b]0;owned\\x07y"},
      {"NUL and DEL", std::string("a\0b\x7f", 4), "a\\x00b\\x7f"},
      {"C1 control in UTF-8", "a\xC2\x9B" "2Jb", "a\\x9b2Jb"},
      {"printable text beyond C1 stays", "\xC2\xA0\xD0\x9F", "\xC2\xA0\xD0\x9F"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(path_);
    {
      Logger logger(path_);
      logger.write(0, std::string_view(c.text));
      logger.write(0, fromUtf8(c.text));
    }
    EXPECT_EQ(texts(lines()), (std::vector<std::string>{c.logged, c.logged}));
  }
}

TEST_F(LoggerTest, AppendsToAnExistingLogAndCreatesNewOnesPrivate) {
  dir_.write("valtorin.log", "old line\r\n");
  {
    Logger logger(path_);
    logger.write(1, u"new line");
  }
  EXPECT_EQ(texts(lines()).back(), "new line");
  EXPECT_EQ(lines().front(), "old line");

  Logger fresh(dir_.file("fresh.log"));
  struct stat st {};
  ASSERT_EQ(::stat(dir_.file("fresh.log").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

struct RotationCase {
  const char* name;
  int limitKb;
  size_t lineLength;  // bytes, prefix and "\r\n" included
  int linesWritten;
  size_t expectedLive;
  size_t expectedRotated;  // 0: no ".1" file
};

TEST_F(LoggerTest, RotatesAtHundredLineBoundariesOnceTheLimitIsReached) {
  const size_t prefixLength = (::gettid() & 0xFFFF) >= 10000 ? 32 : 31;
  const RotationCase cases[] = {
      {"no limit", 0, 100, 300, 300, 0},
      {"checked only at the 100th line", 1, 40, 99, 99, 0},
      {"first boundary over the limit", 1, 40, 100, 0, 100},
      {"exactly the limit rotates", 25, 256, 100, 0, 100},
      {"one byte short waits for the next boundary", 25, 255, 100, 100, 0},
      {"second boundary", 25, 255, 200, 0, 200},
      {"writing goes on in the new file", 25, 255, 250, 50, 200},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(path_);
    std::filesystem::remove(path_ + ".1");
    Logger logger(path_);
    logger.setSizeLimit(c.limitKb);
    const std::string text(c.lineLength - prefixLength - 2, 'x');
    for (int i = 0; i < c.linesWritten; ++i) logger.write(0, std::string_view(text));
    EXPECT_EQ(lines().size(), c.expectedLive) << c.name;
    EXPECT_EQ(exists("valtorin.log.1"), c.expectedRotated > 0) << c.name;
    if (c.expectedRotated > 0) {
      EXPECT_EQ(rotatedLines().size(), c.expectedRotated) << c.name;
      EXPECT_EQ(rotatedLines().front().size(), c.lineLength - 2) << c.name;
    }
  }
}

TEST_F(LoggerTest, SecondRotationReplacesTheOlderFile) {
  Logger logger(path_);
  logger.setSizeLimit(1);
  for (int i = 0; i < 100; ++i) logger.write(0, u"first");
  for (int i = 0; i < 100; ++i) logger.write(0, u"second");
  logger.write(0, u"third");
  EXPECT_EQ(texts(rotatedLines()), std::vector<std::string>(100, "second"));
  EXPECT_EQ(texts(lines()), std::vector<std::string>{"third"});
}

TEST_F(LoggerTest, FailedRenameStillStartsAnEmptyLog) {
  // A non-empty folder in the place of the ".1" file makes the rename fail, even for root.
  dir_.write("valtorin.log.1/keep", "kept");
  Logger logger(path_);
  logger.setSizeLimit(1);
  for (int i = 0; i < 100; ++i) logger.write(0, u"line");
  EXPECT_EQ(read(), "");
  logger.write(0, u"after");
  EXPECT_EQ(texts(lines()), std::vector<std::string>{"after"});
  EXPECT_EQ(dir_.read("valtorin.log.1/keep"), "kept");
}

TEST_F(LoggerTest, ClearEmptiesTheFileAndWritingGoesOn) {
  Logger logger(path_);
  logger.write(0, u"one");
  logger.write(0, u"two");
  logger.clear();
  EXPECT_EQ(read(), "");
  logger.write(0, u"three");
  EXPECT_EQ(texts(lines()), std::vector<std::string>{"three"});
}

TEST_F(LoggerTest, UnopenableLogLeavesWritesWithoutEffect) {
  dir_.write("folder/x", "");
  const std::string paths[] = {"", dir_.file("missing/valtorin.log"), dir_.file("folder")};
  for (const auto& path : paths) {
    Logger logger(path);
    logger.setSizeLimit(1);
    for (int i = 0; i < 150; ++i) logger.write(3, u"error");
    logger.clear();
    logger.write(3, u"error");
  }
  EXPECT_FALSE(exists("missing"));
  EXPECT_TRUE(std::filesystem::is_directory(dir_.file("folder")));
}

TEST_F(LoggerTest, GlobalLoggerReceivesLogCalls) {
  Logger::log(0, u"before any logger");
  {
    Logger logger(path_);
    Logger::setGlobal(&logger);
    EXPECT_EQ(Logger::global(), &logger);
    Logger::log(0, u"wide");
    Logger::log(0, std::string_view("narrow"));
  }
  EXPECT_EQ(Logger::global(), nullptr) << "a destroyed logger is no longer global";
  Logger::log(0, u"after");
  EXPECT_EQ(texts(lines()), (std::vector<std::string>{"wide", "narrow"}));
}

}  // namespace
}  // namespace parlane
