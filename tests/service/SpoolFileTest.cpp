// The spool file format: what is read, what is refused and why, and the writer's round trip.
#include <gtest/gtest.h>

#include <string>

#include "service/SpoolFile.h"

namespace parlane {
namespace {

TEST(SpoolFile, ReadsEveryHeader) {
  const SpoolParse parse = parseSpoolFile(
      "To: +4917012345\r\nto: 0170 999, +4930111\nFLASH: yes\nReport: 1\nTon: 2\n"
      "Validity: 3600\nUrl: http://example.org/a\n\nTitle\nsecond line\n");
  ASSERT_TRUE(parse.message) << parse.error;
  const SpoolMessage& m = *parse.message;
  EXPECT_EQ(m.to, (std::vector<std::string>{"+4917012345", "0170 999", "+4930111"}));
  EXPECT_TRUE(m.flash);
  EXPECT_TRUE(m.report);
  EXPECT_EQ(m.ton, 2);
  EXPECT_EQ(m.validity, 3600);
  EXPECT_EQ(m.url, "http://example.org/a");
  EXPECT_FALSE(m.ussd);
  EXPECT_EQ(m.text, "Title\nsecond line");
}

TEST(SpoolFile, TakesOneLineEndOffTheTextOnly) {
  EXPECT_EQ(parseSpoolFile("To: 1\n\nabc").message->text, "abc");
  EXPECT_EQ(parseSpoolFile("To: 1\n\nabc\n\n").message->text, "abc\n");
  EXPECT_EQ(parseSpoolFile("To: 1\r\n\r\nabc\r\n").message->text, "abc");
  EXPECT_EQ(parseSpoolFile("\xEF\xBB\xBFTo: 1\n\n  Grüße  \n").message->text, "  Grüße  ");
}

TEST(SpoolFile, UssdNeedsACodeAndNoNumber) {
  const SpoolParse parse = parseSpoolFile("Type: USSD\n\n*100#\n");
  ASSERT_TRUE(parse.message) << parse.error;
  EXPECT_TRUE(parse.message->ussd);
  EXPECT_EQ(parse.message->text, "*100#");
}

struct Refused {
  const char* name;
  std::string bytes;
  const char* reason;  // a part of the error text
};

void PrintTo(const Refused& c, std::ostream* os) { *os << c.name; }

class SpoolFileRefused : public testing::TestWithParam<Refused> {};

TEST_P(SpoolFileRefused, SaysWhy) {
  const SpoolParse parse = parseSpoolFile(GetParam().bytes);
  EXPECT_FALSE(parse.message);
  EXPECT_NE(parse.error.find(GetParam().reason), std::string::npos) << parse.error;
}

std::string manyRecipients(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "To: +49170" + std::to_string(1000 + i) + "\n";
  return text + "\nhello\n";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SpoolFileRefused,
    testing::Values(
        Refused{"NoNumber", "Flash: no\n\nhello\n", "no number"},
        Refused{"EmptyText", "To: +491701\n\n", "empty text"},
        Refused{"NoBlankLine", "To: +491701\n", "no blank line"},
        Refused{"Empty", "", "no blank line"},
        Refused{"NotANumber", "To: Alice\n\nhi\n", "\"Alice\" is not a phone number"},
        Refused{"ZeroNumber", "To: 0\n\nhi\n", "\"0\" is not a phone number"},
        Refused{"ZerosOnly", "To: +000\n\nhi\n", "\"+000\" is not a phone number"},
        Refused{"MoreThanTwentyDigits", "To: +491701234567890123456\n\nhi\n",
                "is not a phone number"},
        Refused{"UrlTooLong",
                "To: 1\nUrl: http://example.org/" + std::string(2030, 'a') + "\n\nhi\n",
                "the url is longer than 2048 characters"},
        Refused{"UnknownHeader", "To: 1\nFrom: 2\n\nhi\n", "unknown header \"From\""},
        Refused{"NoColon", "To 1\n\nhi\n", "without a colon"},
        Refused{"BadSwitch", "To: 1\nFlash: maybe\n\nhi\n", "flash: yes or no"},
        Refused{"BadTon", "To: 1\nTon: 5\n\nhi\n", "ton: 0 to 4"},
        Refused{"BadValidity", "To: 1\nValidity: -3\n\nhi\n", "validity"},
        Refused{"HugeValidity", "To: 1\nValidity: 99999999999\n\nhi\n", "validity"},
        Refused{"BadType", "To: 1\nType: fax\n\nhi\n", "type: sms, push or ussd"},
        Refused{"PushWithoutUrl", "To: 1\nType: push\n\nhi\n", "push without a url"},
        Refused{"UssdWithNumber", "To: 1\nType: ussd\n\n*100#\n", "takes no number"},
        Refused{"UssdWithoutCode", "Type: ussd\n\n \n", "no USSD code"},
        Refused{"SendAfterNoTime", "To: 1\nSend-After: soon\n\nhi\n",
                "send-after: seconds from now or a date and time"},
        Refused{"ExpiresInAnUnknownZone", "To: 1\nExpires: 2030-01-01T00:00 CET\n\nhi\n",
                "expires: time zone"},
        Refused{"ExpiresPast", "To: 1\nExpires: 2020-01-01T00:00Z\n\nhi\n",
                "expires: 2020-01-01T00:00Z is past already"},
        Refused{"ExpiresBeforeItMayBeSent", "To: 1\nSend-After: 7200\nExpires: 3600\n\nhi\n",
                "it expires before it may be sent"},
        Refused{"InvalidUtf8", "To: 1\n\n\xC3\x28\n", "not valid UTF-8"},
        Refused{"Binary",
                std::string("To: 1\n\n\x7F"
                            "ELF\0\0\x01",
                            12),
                "NUL bytes"},
        Refused{"TooManyRecipients", manyRecipients(1000), "more than 100 recipients"},
        Refused{"TooBig", "To: 1\n\n" + std::string(kMaxSpoolFileBytes, 'x'), "larger than"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SpoolFile, WriterAndReaderAgree) {
  SpoolMessage message;
  message.to = {"+4917012345", "030 1234"};
  message.flash = true;
  message.report = true;
  message.ton = 1;
  message.validity = 600;
  message.url = "http://example.org";
  const char* texts[] = {"plain", "two\nlines", "ends in a break\n", "ends in CR\r", "", "\r\n"};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    message.text = text;
    const SpoolParse parse = parseSpoolFile(formatSpoolFile(message));
    ASSERT_TRUE(parse.message) << parse.error;
    EXPECT_EQ(*parse.message, message);
  }
  SpoolMessage ussd;
  ussd.ussd = true;
  ussd.text = "*101#";
  EXPECT_EQ(parseSpoolFile(formatSpoolFile(ussd)).message, ussd);
}

// "Send-After:" and "Expires:" in seconds from the moment the file is read, or as a date and time.
struct TimesCase {
  const char* name;
  std::string headers;
  std::optional<std::int64_t> sendAfter;
  std::optional<std::int64_t> expires;
};

void PrintTo(const TimesCase& c, std::ostream* os) { *os << c.name; }

class SpoolFileTimes : public testing::TestWithParam<TimesCase> {};

constexpr std::int64_t kNow = 1'700'000'000;  // 2023-11-14T22:13:20Z

TEST_P(SpoolFileTimes, AreRead) {
  const SpoolParse parse = parseSpoolFile("To: 1\n" + GetParam().headers + "\nhi\n", kNow);
  ASSERT_TRUE(parse.message) << parse.error;
  EXPECT_EQ(parse.message->sendAfter, GetParam().sendAfter);
  EXPECT_EQ(parse.message->expires, GetParam().expires);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SpoolFileTimes,
    testing::Values(
        TimesCase{"None", "", std::nullopt, std::nullopt},
        TimesCase{"SecondsFromNow", "Send-After: 60\nExpires: 3600\n", kNow + 60, kNow + 3600},
        TimesCase{"IsoTimes", "send-after: 2023-11-14T23:00:00Z\nEXPIRES: 2023-11-15T01:00+01:00\n",
                  kNow + 2800, kNow + 6400},
        TimesCase{"OnlyAnExpiry", "Expires: 10\n", std::nullopt, kNow + 10},
        TimesCase{"SendAfterInThePastIsNow", "Send-After: 2020-01-01T00:00Z\n", 1'577'836'800,
                  std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SpoolFile, TimesAreWrittenAndReadBack) {
  SpoolMessage message;
  message.to = {"+4917012345"};
  message.text = "later";
  message.sendAfter = kNow + 60;
  message.expires = kNow + 7200;
  const SpoolParse parse = parseSpoolFile(formatSpoolFile(message), kNow + 30);
  ASSERT_TRUE(parse.message) << parse.error;
  EXPECT_EQ(*parse.message, message);
}

TEST(SpoolFile, CheckRefusesWhatTheReaderWould) {
  SpoolMessage message;
  message.text = "hi";
  EXPECT_EQ(checkSpoolMessage(message), "no number");
  message.to = {"+491"};
  EXPECT_EQ(checkSpoolMessage(message), std::nullopt);
  message.text = "\xFF";
  EXPECT_EQ(checkSpoolMessage(message), "not valid UTF-8");
  message.text.clear();
  EXPECT_EQ(checkSpoolMessage(message), "an empty text");
}

}  // namespace
}  // namespace parlane
