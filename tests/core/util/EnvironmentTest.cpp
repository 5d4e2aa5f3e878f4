#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/util/Environment.h"
#include "core/util/Utf.h"

namespace parlane {
namespace {

// Sets environment variables for one test and puts the old values back afterwards.
class Environment : public testing::Test {
 protected:
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }
  void set(const std::string& name, const std::optional<std::string>& value) {
    if (!saved_.count(name)) {
      const char* old = std::getenv(name.c_str());
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value) {
      ::setenv(name.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

struct ExpansionCase {
  const char* name;
  std::vector<std::pair<std::string, std::optional<std::string>>> environment;
  const char* input;
  const char* expected;
  bool systemProfile = false;
};

TEST_F(Environment, Expansion) {
  const std::string longValue(3000, 'v');
  const ExpansionCase cases[] = {
      {"plain text", {}, "/var/log/parlane.log", "/var/log/parlane.log"},
      {"exact name", {{"PlTest", "/x"}}, "%PlTest%/log", "/x/log"},
      {"upper case when the exact name is unset",
       {{"pltest", std::nullopt}, {"PLTEST", "/up"}},
       "%pltest%/a",
       "/up/a"},
      {"exact name wins over upper case",
       {{"pltest", "/low"}, {"PLTEST", "/up"}},
       "%pltest%",
       "/low"},
      {"unset variable is removed", {{"PL_UNSET", std::nullopt}}, "a%PL_UNSET%b", "ab"},
      {"empty variable is removed", {{"PL_EMPTY", ""}}, "a%PL_EMPTY%b", "ab"},
      {"doubled percent stays", {{"PL_A", "1"}}, "100%% %PL_A%", "100%% 1"},
      {"unterminated percent stays", {{"PL_A", "1"}}, "%PL_A% 50%", "1 50%"},
      {"lone percent at the end", {}, "%", "%"},
      {"a name with '=' is never found", {{"PL_A", "B=C"}}, "x%PL_A=B%y", "xy"},
      {"several references", {{"PL_A", "1"}, {"PL_B", "2"}}, "%PL_A%%PL_B%-%PL_A%", "12-1"},
      {"non-ASCII value",
       {{"PL_A", "/home/\xd0\xb8\xd0\xb2"}},
       "%PL_A%/f",
       "/home/\xd0\xb8\xd0\xb2/f"},
      {"long value is kept whole", {{"PL_LONG", longValue}}, "%PL_LONG%", longValue.c_str()},
      {"APPDATA when set", {{"APPDATA", "/ad"}}, "%appdata%\\Quortane SMS", "/ad\\Quortane SMS"},
      {"appdata falls back to XDG_CONFIG_HOME",
       {{"APPDATA", std::nullopt}, {"XDG_CONFIG_HOME", "/xdg"}, {"HOME", "/home/u"}},
       "%appdata%/Quortane SMS",
       "/xdg/Quortane SMS"},
      {"then to HOME/.config",
       {{"APPDATA", std::nullopt}, {"XDG_CONFIG_HOME", std::nullopt}, {"HOME", "/home/u"}},
       "%AppData%/q",
       "/home/u/.config/q"},
      {"a relative XDG_CONFIG_HOME is ignored",
       {{"APPDATA", std::nullopt}, {"XDG_CONFIG_HOME", "rel"}, {"HOME", "/home/u"}},
       "%appdata%",
       "/home/u/.config"},
      {"system account appdata",
       {{"APPDATA", "/ad"}},
       "%appdata%/Quortane SMS",
       "/var/lib/Quortane SMS",
       true},
      {"system account compares exactly",
       {{"APPDATA", "/ad"}},
       "%APPDATA%|%appdata%",
       "/ad|/var/lib",
       true},
  };
  for (const auto& c : cases) {
    for (const auto& [name, value] : c.environment) set(name, value);
    EXPECT_EQ(expandEnvironment(std::string(c.input), c.systemProfile), c.expected) << c.name;
    EXPECT_EQ(expandEnvironment(fromUtf8(c.input), c.systemProfile), fromUtf8(c.expected))
        << c.name;
  }
}

TEST_F(Environment, AppdataWithoutAnyVariableIsUnderTheHomeOfThePasswordDatabase) {
  set("APPDATA", std::nullopt);
  set("XDG_CONFIG_HOME", std::nullopt);
  set("HOME", std::nullopt);
  const passwd* entry = ::getpwuid(::getuid());
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(expandEnvironment(std::string("%appdata%/Quortane SMS")),
            std::string(entry->pw_dir) + "/.config/Quortane SMS");
}

TEST_F(Environment, NarrowTextKeepsBytesThatAreNotUtf8) {
  set("PL_A", "/a");
  EXPECT_EQ(expandEnvironment(std::string("\xff%PL_A%\xfe")), "\xff/a\xfe");
}

}  // namespace
}  // namespace parlane
