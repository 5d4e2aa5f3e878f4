#include <gtest/gtest.h>

#include <string>

#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"
#include "message/MessageIdCounter.h"
#include "message/PushMessage.h"
#include "message/TonAutoRule.h"
#include "ui/dialogs/common/AsciiConversion.h"
#include "ui/dialogs/common/OutgoingMessages.h"
#include "ui/dialogs/send/MessageCounter.h"
#include "ui/dialogs/send/RecipientText.h"
#include "ui/dialogs/send/SendHistory.h"
#include "ui/dialogs/send/SendList.h"

namespace parlane {
namespace {

TEST(AsciiConversion, ReplacesTheTableAndKeepsEverythingElse) {
  std::u16string text =
      u"\u00C0\u00C3\u00E1\u00C7\u00E7\u00C9\u00EA\u00CD\u00ED\u00D1\u00F1"
      u"\u00D3\u00D6\u00F5\u00DA\u00FC\u011E\u011F\u0130\u0131\u015E\u015F"
      u"\u00B4\u2018\u2019";
  EXPECT_TRUE(convertToAscii(text));
  EXPECT_EQ(toUtf8(text), "AAaCcEeIiNnOOoUuGgIiSs'`'");

  // Letters outside the table stay; the text is then not pure ASCII.
  std::u16string mixed = u"\u00C4rger caf\u00E9 \u0416";
  EXPECT_FALSE(convertToAscii(mixed));
  EXPECT_EQ(mixed, u"\u00C4rger cafe \u0416");
}

struct CounterCase {
  const char* name;
  std::u16string text;
  bool textMode;
  bool toAscii;
  std::string display;
};

void PrintTo(const CounterCase& c, std::ostream* out) { *out << c.name; }

class CounterTest : public testing::TestWithParam<CounterCase> {};

TEST_P(CounterTest, ShowsCharactersCodingAndFragments) {
  const CounterCase& c = GetParam();
  CounterInput input;
  input.text = c.text;
  input.textMode = c.textMode;
  input.toAscii = c.toAscii;
  EXPECT_EQ(toUtf8(countMessage(input).display), c.display);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CounterTest,
    testing::Values(CounterCase{"Empty", u"", false, false,
                                "0 characters, 7-bit coding, 1 fragment(s)"},
                    CounterCase{"Plain160", std::u16string(160, u'a'), false, false,
                                "160 characters, 7-bit coding, 1 fragment(s)"},
                    CounterCase{"Plain161", std::u16string(161, u'a'), false, false,
                                "161 characters, 7-bit coding, 2 fragment(s)"},
                    CounterCase{"Cyrillic", u"\u0416", false, false,
                                "1 characters, 16-bit coding, 1 fragment(s)"},
                    CounterCase{"BracketsTakeTwoSeptets", std::u16string(81, u'{'), false, false,
                                "81 characters, 7-bit coding, 2 fragment(s)"},
                    CounterCase{"MaxText", std::u16string(10000, u'\u0416'), false, false,
                                "10000 characters, 16-bit coding, 150 fragment(s)"},
                    CounterCase{"TextModeAccent", u"caf\u00E9", true, false,
                                "Non-ASCII symbols may not be sent in text mode"},
                    CounterCase{"TextModeAccentConverted", u"caf\u00E9", true, true,
                                "4 characters, 7-bit coding, 1 fragment(s)"},
                    CounterCase{"PduModeAccent", u"caf\u00E9", false, false,
                                "4 characters, 16-bit coding, 1 fragment(s)"}),
    [](const auto& info) { return std::string(info.param.name); });

struct NationalCounterCase {
  const char* name;
  std::u16string text;
  std::vector<int> languages;
  bool textMode;
  std::string display;
};

void PrintTo(const NationalCounterCase& c, std::ostream* out) { *out << c.name; }

// 200 characters of Turkish, all in the Turkish locking shift table.
std::u16string turkishText() {
  std::u16string text;
  while (text.size() < 200) text += u"\u015Fi\u015Fe \u0131\u015F\u0131k da\u011F ";
  text.resize(200);
  return text;
}

class NationalCounterTest : public testing::TestWithParam<NationalCounterCase> {};

// The counter names the national tables the encoder would use and counts its parts.
TEST_P(NationalCounterTest, FollowsTheEncodersChoice) {
  const NationalCounterCase& c = GetParam();
  CounterInput input;
  input.text = c.text;
  input.textMode = c.textMode;
  input.encoder.nationalLanguages = c.languages;
  EXPECT_EQ(toUtf8(countMessage(input).display), c.display);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, NationalCounterTest,
    testing::Values(NationalCounterCase{"TurkishNotAllowed",
                                        turkishText(),
                                        {},
                                        false,
                                        "200 characters, 16-bit coding, 3 fragment(s)"},
                    NationalCounterCase{"TurkishAllowed",
                                        turkishText(),
                                        {1},
                                        false,
                                        "200 characters, 7-bit Turkish coding, 2 fragment(s)"},
                    NationalCounterCase{"SpanishSingleShift",
                                        u"acci\u00F3n",
                                        {2},
                                        false,
                                        "6 characters, 7-bit Spanish coding, 1 fragment(s)"},
                    NationalCounterCase{
                        "TwoLanguages",
                        u"\u011F\u00F3",
                        {1, 2},
                        false,
                        "2 characters, 7-bit Turkish/Spanish coding, 1 fragment(s)"},
                    NationalCounterCase{"DefaultAlphabetAccent",
                                        u"caf\u00E9",
                                        {1},
                                        false,
                                        "4 characters, 7-bit coding, 1 fragment(s)"},
                    NationalCounterCase{"TextModeHasNoTables",
                                        turkishText(),
                                        {1},
                                        true,
                                        "Non-ASCII symbols may not be sent in text mode"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Counter, PushCountsUtf8OctetsAndTheUrlAndNeverTakesAnId) {
  const std::int32_t before = MessageIdCounter::peek();
  CounterInput input;
  input.text = u"Caf\u00E9";
  input.url = u"http://example.com";
  input.push = true;
  const CounterResult result = countMessage(input);
  EXPECT_EQ(result.characters, 5 + 25 + 18);
  EXPECT_EQ(toUtf8(result.display), "48 characters, utf-8 coding, 1 fragment(s)");
  input.push = false;
  countMessage(input);
  EXPECT_EQ(MessageIdCounter::peek(), before) << "counting used up message ids";
}

TEST(RecipientText, SplitsAtCommasAndLeavesGroupLabelsWhole) {
  EXPECT_EQ(splitRecipients(u"+4917012345, 0170 54321 ,,"),
            (std::vector<std::u16string>{u"+4917012345", u"0170 54321"}));
  EXPECT_TRUE(splitRecipients(u"(3 subscribers)").empty());
  EXPECT_TRUE(splitRecipients(u" , ").empty());
  EXPECT_TRUE(isGroupLabel(u"(3 subscribers)"));
  EXPECT_FALSE(isGroupLabel(u"+49 (170) 12345"));
}

TEST(SendHistory, NewestFirstTwentyAtMostNoGroupLabels) {
  SettingsStore settings;
  std::vector<std::u16string> history;
  for (int i = 1; i <= 21; ++i)
    SendHistory::remember(history, u"+49170" + fromAscii(std::to_string(i)));
  ASSERT_EQ(history.size(), 20u);
  EXPECT_EQ(history.front(), u"+4917021");
  EXPECT_EQ(history.back(), u"+491702") << "the oldest went";

  SendHistory::remember(history, u"+4917010");
  EXPECT_EQ(history.front(), u"+4917010");
  EXPECT_EQ(history.size(), 20u) << "moved, not copied";
  SendHistory::remember(history, u"(3 subscribers)");
  SendHistory::remember(history, u"");
  EXPECT_EQ(history.front(), u"+4917010");

  SendHistory::save(settings, history);
  EXPECT_EQ(SendHistory::load(settings), history);
}

TEST(SendHistory, OverlongEntriesAreNotWrittenAndNoOldEntryComesBack) {
  SettingsStore settings;
  SendHistory::save(settings, {u"1", u"2", u"3"});
  SendHistory::save(settings, {std::u16string(2048, u'9'), u"1", u"2"});
  EXPECT_EQ(SendHistory::load(settings), (std::vector<std::u16string>{u"1", u"2"}));
  settings.setString("address.2", u"3");
  settings.setString("address.3", u"4");
  EXPECT_EQ(SendHistory::load(settings).size(), 4u);
}

TEST(OutgoingMessages, OneMessagePerRecipientInvalidOnesNamed) {
  TonAutoRule::set({6, 4, 1});
  SendContent content;
  content.text = u"caf\u00E9";
  content.toAscii = true;
  content.flash = true;
  content.report = true;
  std::vector<std::u16string> invalid;
  const auto messages =
      buildOutgoingMessages(content, {u"+49 170 12345", u"*100#", u"1234", u"no"}, invalid);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0]->to, u"4917012345");
  EXPECT_EQ(messages[0]->dstton, 1);
  EXPECT_EQ(messages[1]->to, u"1234");
  EXPECT_EQ(messages[1]->dstton, 4) << "a short number takes the short type";
  EXPECT_EQ(messages[0]->content, u"cafe");
  EXPECT_EQ(messages[0]->flags, 1 | 4);
  EXPECT_NE(messages[0]->uniqueid, messages[1]->uniqueid);
  EXPECT_EQ(invalid, (std::vector<std::u16string>{u"*100#", u"no"}));

  content.tonIndex = 3;  // national
  content.push = true;
  content.flash = false;
  content.url = u"http://example.com";
  invalid.clear();
  const auto pushes = buildOutgoingMessages(content, {u"0170 12345"}, invalid);
  ASSERT_EQ(pushes.size(), 1u);
  EXPECT_EQ(pushes[0]->getType(), 2);
  EXPECT_EQ(pushes[0]->dstton, 2);
  EXPECT_EQ(pushes[0]->getUrl(), u"http://example.com");
  EXPECT_EQ(pushes[0]->flags, 4);
}

TEST(SendList, SplitsAtTheFirstCommaAndNamesEveryBadLine) {
  const ParsedSendList parsed = parseSendList(
      u"+4917012345,Hello, you\r\n\n0170 54321 ,x\rno comma here\n,no number\n*100#,not a "
      u"number\n12345,\n+4917099999,last");
  ASSERT_EQ(parsed.entries.size(), 3u);
  EXPECT_EQ(parsed.entries[0].number, u"+4917012345");
  EXPECT_EQ(parsed.entries[0].text, u"Hello, you");
  EXPECT_EQ(parsed.entries[1].number, u"0170 54321");
  EXPECT_EQ(parsed.entries[1].text, u"x");
  EXPECT_EQ(parsed.entries[2].text, u"last");
  EXPECT_EQ(parsed.rejectedLines, (std::vector<std::size_t>{2, 4, 5, 6, 7}));
  EXPECT_TRUE(parseSendList(u"").entries.empty());
  EXPECT_TRUE(parseSendList(u"1,a\n").rejectedLines.empty()) << "a final line break ends the list";

  const auto messages = buildListMessages(parsed.entries, true, false);
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0]->flags, 4);
}

TEST(SendList, AHundredThousandLines) {
  std::u16string list;
  for (int i = 0; i < 100000; ++i) {
    list += i % 10 == 9 ? u"garbage line\n"
                        : u"+4917012345,message " + fromAscii(std::to_string(i)) + u"\n";
  }
  const ParsedSendList parsed = parseSendList(list);
  EXPECT_EQ(parsed.entries.size(), 90000u);
  EXPECT_EQ(parsed.rejectedLines.size(), 10000u);
  EXPECT_EQ(parsed.rejectedLines.front(), 10u);
}

}  // namespace
}  // namespace parlane
