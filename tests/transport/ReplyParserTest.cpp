#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/util/Utf.h"
#include "transport/ReceiveBuffer.h"
#include "transport/ReplyParser.h"
#include "transport/ReplyRecorder.h"

namespace parlane {
namespace {

using test::ReplyRecorder;
using S = ReplySlot;

struct Expected {
  int kind;
  int code;
  ReplySlot slot;
  std::u16string text;
};

// Feeds the bytes through a buffer the way the channel does and returns what was left in it.
std::string feed(ReplyParser& parser, ReplyRecorder& sink, ReceiveBuffer& buffer,
                 std::string_view bytes) {
  buffer.appendAndParse(bytes, parser, sink);
  return std::string(buffer.view());
}

void expectEvents(const ReplyRecorder& sink, const std::vector<Expected>& expected) {
  ASSERT_EQ(sink.entries.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    const auto& [slot, event] = sink.entries[i];
    EXPECT_EQ(event->kind, expected[i].kind);
    EXPECT_EQ(event->code, expected[i].code);
    EXPECT_EQ(slot, expected[i].slot);
    EXPECT_EQ(event->text, expected[i].text);
  }
}

struct LineCase {
  const char* name;
  const char* line;
  int kind;
  int code;
  ReplySlot slot;
  const char16_t* text;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class SingleLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(SingleLineTest, ClassifiesByBeginning) {
  const LineCase& c = GetParam();
  ReplyParser parser;
  ReplyRecorder sink;
  ReceiveBuffer buffer;
  EXPECT_EQ(feed(parser, sink, buffer, std::string(c.line) + "\r\n"), "");
  expectEvents(sink, {{c.kind, c.code, c.slot, c.text}});
  EXPECT_EQ(sink.entries[0].event->raw, toUtf8(fromUtf8(c.line)));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SingleLineTest,
    ::testing::Values(
        LineCase{"Ok", "OK", 2, 0, S::Ok, u"OK"},
        LineCase{"OkInLowerCase", "ok", 2, 0, S::Ok, u"ok"},
        LineCase{"Error", "ERROR", 4, 100, S::Failure, u"ERROR"},
        LineCase{"MessageContent", "+CMT: ,23", 5, 0, S::Unsolicited, u"+CMT: ,23"},
        LineCase{"BroadcastContent", "+CBM: 88", 5, 0, S::Unsolicited, u"+CBM: 88"},
        LineCase{"ReportContent", "+CDS:25", 12, 0, S::Unsolicited, u"+CDS:25"},
        LineCase{"MessageIndex", "+CMTI: \"SM\",5", 6, 0, S::Unsolicited, u"+CMTI: \"SM\",5"},
        LineCase{"BroadcastIndexInLowerCase", "+cbmi: \"BM\",2", 6, 0, S::Unsolicited,
                 u"+cbmi: \"BM\",2"},
        LineCase{"ReportIndex", "+CDSI: \"SR\",0", 13, 0, S::Unsolicited, u"+CDSI: \"SR\",0"},
        LineCase{"ReadHeader", "+CMGR: 0,,33", 7, 0, S::Unsolicited, u"+CMGR: 0,,33"},
        LineCase{"ListHeader", "+CMGL: 1,0,,23", 7, 0, S::Unsolicited, u"+CMGL: 1,0,,23"},
        LineCase{"UssdReply", "+CUSD: 2,\"x\",15", 7, 0, S::Unsolicited, u"+CUSD: 2,\"x\",15"},
        LineCase{"CmeErrorIsFailure", "+CME ERROR: 10", 9, 10, S::Failure, u"SIM not inserted"},
        LineCase{"CmsErrorWithAGenericText", "+CMS ERROR: 500", 9, 500, S::Failure,
                 u"Unknown error"},
        LineCase{"CmsErrorIsFailure", "+CMS ERROR: 330", 9, 330, S::Failure,
                 u"SMSC address unknown"},
        LineCase{"CmeErrorAsText", "+CME ERROR: SM BL not ready", 9, 100, S::Failure,
                 u"SM BL not ready"},
        LineCase{"CmeErrorWithoutText", "+CME ERROR: 515", 9, 515, S::Failure, u"515"},
        LineCase{"SignalQuality", "+CSQ: 31,0", 7, 0, S::Information, u"+CSQ: 31,0"},
        LineCase{"SendReference", "+CMGS: 183", 7, 0, S::Information, u"+CMGS: 183"},
        LineCase{"Prompt", ">", 3, 0, S::Prompt, u">"},
        LineCase{"PlainText", "Emulator", 7, 0, S::Information, u"Emulator"},
        LineCase{"Echo", "AT+CMGF=0", 7, 0, S::Information, u"AT+CMGF=0"},
        LineCase{"IndicationRanges", "+CNMI: (0-3),(0-3),(0,2,3),(0-1),(0)", 7, 0, S::Information,
                 u"+CNMI: (0-3),(0-3),(0,2,3),(0-1),(0)"},
        LineCase{"Ring", "RING", 14, 0, S::Unsolicited, u"RING"},
        LineCase{"ExtendedRing", "+CRING: VOICE", 14, 0, S::Unsolicited, u"+CRING: VOICE"},
        LineCase{"CallerLine", "+CLIP: \"+4917012345\",145,,,,0", 14, 0, S::Unsolicited,
                 u"+CLIP: \"+4917012345\",145,,,,0"},
        LineCase{"RingingIsNoRing", "RINGING", 7, 0, S::Information, u"RINGING"},
        LineCase{"CallerSettingAnswersItsQuery", "+CLIP: 1,1", 7, 0, S::Information,
                 u"+CLIP: 1,1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReplyParserTest, LineSplitAcrossReadsWaitsForItsEnd) {
  ReplyParser parser;
  ReplyRecorder sink;
  ReceiveBuffer buffer;
  EXPECT_EQ(feed(parser, sink, buffer, "O"), "O");
  EXPECT_TRUE(sink.entries.empty());
  EXPECT_EQ(feed(parser, sink, buffer, "K\r\n"), "");
  expectEvents(sink, {{2, 0, S::Ok, u"OK"}});
}

TEST(ReplyParserTest, PromptComesAtOnceAndKeepsTheSpace) {
  ReplyParser parser;
  ReplyRecorder sink;
  ReceiveBuffer buffer;
  EXPECT_EQ(feed(parser, sink, buffer, "\r\n> "), " ");
  expectEvents(sink, {{3, 0, S::Prompt, u">"}});
  // The echo of a command, then the prompt without a line end of its own.
  ReplyRecorder second;
  EXPECT_EQ(feed(parser, second, buffer, "AT+CMGS=23\r> "), " ");
  expectEvents(second, {{7, 0, S::Information, u" AT+CMGS=23"}, {3, 0, S::Prompt, u">"}});
}

// A modem that writes its result straight after the prompt's blank, with no line break.
struct GluedResultCase {
  const char* name;
  const char* bytes;
  Expected event;
};

void PrintTo(const GluedResultCase& c, std::ostream* os) { *os << c.name; }

class GluedResultTest : public ::testing::TestWithParam<GluedResultCase> {};

TEST_P(GluedResultTest, IsTheFinalResult) {
  ReplyParser parser;
  ReplyRecorder sink;
  ReceiveBuffer buffer;
  feed(parser, sink, buffer, "\r\n> ");
  feed(parser, sink, buffer, GetParam().bytes);
  expectEvents(sink, {{3, 0, S::Prompt, u">"}, GetParam().event});
}

INSTANTIATE_TEST_SUITE_P(
    ReplyParserTest, GluedResultTest,
    ::testing::Values(GluedResultCase{"Ok", "OK\r\n", {2, 0, S::Ok, u"OK"}},
                      GluedResultCase{"Error", "ERROR\r\n", {4, 100, S::Failure, u"ERROR"}},
                      GluedResultCase{"CodedError",
                                      "+CMS ERROR: 330\r\n",
                                      {9, 330, S::Failure, u"SMSC address unknown"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReplyParserTest, GreaterThanInsideALineNeverCutsIt) {
  ReplyParser parser;
  ReplyRecorder sink;
  ReceiveBuffer buffer;
  // A text-mode body that arrives in two reads, the first ending just after a ">".
  EXPECT_EQ(feed(parser, sink, buffer, "+CMGR: \"REC UNREAD\"\r\nsee you -> at 5>"),
            "see you -> at 5>");
  EXPECT_EQ(feed(parser, sink, buffer, " ok\r\nOK\r\n"), "");
  expectEvents(sink, {{7, 0, S::Unsolicited, u"+CMGR: \"REC UNREAD\""},
                      {7, 0, S::Unsolicited, u"see you -> at 5> ok"},
                      {2, 0, S::Ok, u"OK"}});
}

TEST(ReplyParserTest, ListingOfTwoMessagesGoesToTheReceiverInOrder) {
  ReplyParser parser;
  ReplyRecorder sink;
  ReceiveBuffer buffer;
  feed(parser, sink, buffer,
       "+CMGL: 1,0,,23\r\n07911326040000F0040B911346610089F60000208062917314080CC8F71D14969741F9"
       "77FD07\r\n+CMGL: 2,0,,22\r\n0791132604000F0040B911346610089F6000020806291731408\r\n"
       "\r\nOK\r\n");
  expectEvents(sink,
               {{7, 0, S::Unsolicited, u"+CMGL: 1,0,,23"},
                {7, 0, S::Unsolicited,
                 u"07911326040000F0040B911346610089F60000208062917314080CC8F71D14969741F977FD07"},
                {7, 0, S::Unsolicited, u"+CMGL: 2,0,,22"},
                {7, 0, S::Unsolicited, u"0791132604000F0040B911346610089F6000020806291731408"},
                {2, 0, S::Ok, u"OK"}});
}

TEST(ReplyParserTest, BodyFollowsSurvivesAnOkBetweenHeaderAndPdu) {
  ReplyParser parser;
  ReplyRecorder sink;
  ReceiveBuffer buffer;
  feed(parser, sink, buffer, "+CMGR: 0,,33\r\nOK\r\n07919711029099F304\r\n+CSQ: 1,0\r\n");
  expectEvents(sink, {{7, 0, S::Unsolicited, u"+CMGR: 0,,33"},
                      {2, 0, S::Ok, u"OK"},
                      {7, 0, S::Unsolicited, u"07919711029099F304"},
                      {7, 0, S::Information, u"+CSQ: 1,0"}});
  EXPECT_FALSE(parser.bodyFollows());
}

// A call rings at any time: between the header of a read and its PDU the ring goes to the
// receiver and the PDU is still the body.
TEST(ReplyParserTest, ARingBetweenHeaderAndPduLeavesTheBodyAnnounced) {
  ReplyParser parser;
  ReplyRecorder sink;
  ReceiveBuffer buffer;
  feed(parser, sink, buffer,
       "+CMGR: 0,,33\r\nRING\r\n+CLIP: \"+4917012345\",145\r\n07919711029099F304\r\nOK\r\n");
  expectEvents(sink, {{7, 0, S::Unsolicited, u"+CMGR: 0,,33"},
                      {14, 0, S::Unsolicited, u"RING"},
                      {14, 0, S::Unsolicited, u"+CLIP: \"+4917012345\",145"},
                      {7, 0, S::Unsolicited, u"07919711029099F304"},
                      {2, 0, S::Ok, u"OK"}});
}

// A text-mode message whose whole text is a final word ("OK" is a common answer) is the text when
// the final result or the next listed message follows it; a final result some modems put between
// the header and the text is still one.
struct FinalWordTextCase {
  const char* name;
  std::string bytes;
  std::vector<Expected> events;
};

void PrintTo(const FinalWordTextCase& c, std::ostream* os) { *os << c.name; }

class FinalWordTextTest : public ::testing::TestWithParam<FinalWordTextCase> {};

TEST_P(FinalWordTextTest, IsTheTextOrTheResultByWhatFollows) {
  const FinalWordTextCase& c = GetParam();
  ReplyParser parser;
  ReplyRecorder sink;
  ReceiveBuffer buffer;
  // Byte by byte, as a slow line hands them over.
  for (char byte : c.bytes) feed(parser, sink, buffer, std::string(1, byte));
  expectEvents(sink, c.events);
}

const char kReadHeader[] = "+CMGR: \"REC UNREAD\",\"+2781\",,\"13/02/07,01:31:44+08\"";
const char16_t kReadHeader16[] = u"+CMGR: \"REC UNREAD\",\"+2781\",,\"13/02/07,01:31:44+08\"";

INSTANTIATE_TEST_SUITE_P(
    Lines, FinalWordTextTest,
    ::testing::Values(
        FinalWordTextCase{"ReadWhoseTextIsOk",
                          std::string(kReadHeader) + "\r\nOK\r\n\r\nOK\r\n",
                          {{7, 0, S::Unsolicited, kReadHeader16},
                           {7, 0, S::Unsolicited, u"OK"},
                           {2, 0, S::Ok, u"OK"}}},
        FinalWordTextCase{"ReadWhoseTextIsError",
                          std::string(kReadHeader) + "\r\nERROR\r\n\r\nOK\r\n",
                          {{7, 0, S::Unsolicited, kReadHeader16},
                           {7, 0, S::Unsolicited, u"ERROR"},
                           {2, 0, S::Ok, u"OK"}}},
        FinalWordTextCase{
            "ListedTextOkBeforeTheNextMessage",
            "+CMGL: 1,\"REC READ\",\"+2781\",,\"13/02/07,01:31:44+08\"\r\nOK\r\n"
            "+CMGL: 2,\"REC READ\",\"+2781\",,\"13/02/07,01:32:44+08\"\r\nfine\r\n"
            "\r\nOK\r\n",
            {{7, 0, S::Unsolicited, u"+CMGL: 1,\"REC READ\",\"+2781\",,\"13/02/07,01:31:44+08\""},
             {7, 0, S::Unsolicited, u"OK"},
             {7, 0, S::Unsolicited, u"+CMGL: 2,\"REC READ\",\"+2781\",,\"13/02/07,01:32:44+08\""},
             {7, 0, S::Unsolicited, u"fine"},
             {2, 0, S::Ok, u"OK"}}},
        FinalWordTextCase{"ResultBeforeTheText",
                          std::string(kReadHeader) + "\r\nOK\r\nRead one\r\n",
                          {{7, 0, S::Unsolicited, kReadHeader16},
                           {2, 0, S::Ok, u"OK"},
                           {7, 0, S::Unsolicited, u"Read one"}}},
        FinalWordTextCase{
            "ArrivingTextIsOk",
            "+CMT: \"+27748577604\",,\"13/01/28,14:51:42+08\"\r\nOK\r\n",
            {{5, 0, S::Unsolicited, u"+CMT: \"+27748577604\",,\"13/01/28,14:51:42+08\""},
             {7, 0, S::Unsolicited, u"OK"}}}),
    [](const auto& info) { return std::string(info.param.name); });

// A header with nothing behind it (the read of an empty slot on some modems): the final result
// and the next command's reply go to the sender.
struct EmptyHeaderCase {
  const char* name;
  const char* header;
};

void PrintTo(const EmptyHeaderCase& c, std::ostream* os) { *os << c.name; }

class EmptyHeaderTest : public ::testing::TestWithParam<EmptyHeaderCase> {};

TEST_P(EmptyHeaderTest, AnnouncesNoBody) {
  ReplyParser parser;
  ReplyRecorder sink;
  ReceiveBuffer buffer;
  const std::string header = GetParam().header;
  feed(parser, sink, buffer, header + "\r\n\r\nOK\r\n+CMS ERROR: 321\r\n351234567890123\r\n");
  expectEvents(sink, {{7, 0, S::Unsolicited, fromUtf8(header)},
                      {2, 0, S::Ok, u"OK"},
                      {9, 321, S::Failure, u"Invalid memory index"},
                      {7, 0, S::Information, u"351234567890123"}});
  EXPECT_FALSE(parser.bodyFollows());
}

INSTANTIATE_TEST_SUITE_P(ReplyParserTest, EmptyHeaderTest,
                         ::testing::Values(EmptyHeaderCase{"ReadOfLengthZero", "+CMGR: 0,,0"},
                                           EmptyHeaderCase{"ReadWithoutFields", "+CMGR:"},
                                           EmptyHeaderCase{"ReadWithBlanksOnly", "+CMGR:  "},
                                           EmptyHeaderCase{"ListedOfLengthZero", "+CMGL: 4,0,,0"}),
                         [](const ::testing::TestParamInfo<EmptyHeaderCase>& info) {
                           return info.param.name;
                         });

// A text-mode body is the message text, whatever it looks like, and keeps its own line breaks
// (bare LFs), even when it arrives in pieces.
constexpr char kTextHeader[] = "+CMT: \"+31612345678\",,\"24/01/02,10:00:00+04\"";
constexpr char16_t kTextHeader16[] = u"+CMT: \"+31612345678\",,\"24/01/02,10:00:00+04\"";

struct TextBodyCase {
  const char* name;
  std::vector<std::string> chunks;
  std::vector<Expected> expected;
};

void PrintTo(const TextBodyCase& c, std::ostream* os) { *os << c.name; }

class TextBodyTest : public ::testing::TestWithParam<TextBodyCase> {};

TEST_P(TextBodyTest, IsTheWholeText) {
  ReplyParser parser;
  ReplyRecorder sink;
  ReceiveBuffer buffer;
  for (const std::string& chunk : GetParam().chunks) feed(parser, sink, buffer, chunk);
  expectEvents(sink, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    ReplyParserTest, TextBodyTest,
    ::testing::Values(TextBodyCase{"TwoLines",
                                   {std::string(kTextHeader) + "\r\nfirst line\nsecond line\r\n"},
                                   {{5, 0, S::Unsolicited, kTextHeader16},
                                    {7, 0, S::Unsolicited, u"first line\nsecond line"}}},
                      TextBodyCase{
                          "TwoLinesInPieces",
                          {std::string(kTextHeader) + "\r\nfirst line\n", "second line\r\n"},
                          {{5, 0, S::Unsolicited, kTextHeader16},
                           {7, 0, S::Unsolicited, u"first line\nsecond line"}}},
                      TextBodyCase{"BeginsWithPlus",
                                   {std::string(kTextHeader) + "\r\n+49 call me\r\n"},
                                   {{5, 0, S::Unsolicited, kTextHeader16},
                                    {7, 0, S::Unsolicited, u"+49 call me"}}},
                      TextBodyCase{"BeginsWithPromptSign",
                                   {std::string(kTextHeader) + "\r\n> see above\r\n"},
                                   {{5, 0, S::Unsolicited, kTextHeader16},
                                    {7, 0, S::Unsolicited, u"> see above"}}}),
    [](const ::testing::TestParamInfo<TextBodyCase>& info) { return info.param.name; });

TEST(ReplyParserTest, ErrorsAfterAHeaderGoToTheReceiver) {
  ReplyParser parser;
  ReplyRecorder sink;
  ReceiveBuffer buffer;
  feed(parser, sink, buffer, "+CMT: ,23\r\nERROR\r\n+CMS ERROR: 321\r\n");
  expectEvents(sink, {{5, 0, S::Unsolicited, u"+CMT: ,23"},
                      {4, 100, S::Unsolicited, u"ERROR"},
                      {9, 321, S::Unsolicited, u"Invalid memory index"}});
  EXPECT_TRUE(parser.bodyFollows()) << "final results leave the flag alone";
}

TEST(ReplyParserTest, TextBodyBeginningWithOkIsTheBodyNotAResult) {
  ReplyParser parser;
  ReplyRecorder sink;
  ReceiveBuffer buffer;
  feed(parser, sink, buffer,
       "+CMT: \"+31612345678\",,\"24/01/02,10:00:00+04\"\r\nOk, see you at 8\r\n"
       "+CMT: \"+31612345678\",,\"24/01/02,10:00:01+04\"\r\nErrors everywhere\r\nok\r\n");
  expectEvents(sink, {{5, 0, S::Unsolicited, u"+CMT: \"+31612345678\",,\"24/01/02,10:00:00+04\""},
                      {7, 0, S::Unsolicited, u"Ok, see you at 8"},
                      {5, 0, S::Unsolicited, u"+CMT: \"+31612345678\",,\"24/01/02,10:00:01+04\""},
                      {7, 0, S::Unsolicited, u"Errors everywhere"},
                      {2, 0, S::Ok, u"ok"}});
}

TEST(ReplyParserTest, CmtiGoesToUnsolicitedBetweenReplyLines) {
  ReplyParser parser;
  ReplyRecorder sink;
  ReceiveBuffer buffer;
  feed(parser, sink, buffer, "+CSQ: 31,0\r\n+CMTI: \"SM\",3\r\nOK\r\n");
  expectEvents(sink, {{7, 0, S::Information, u"+CSQ: 31,0"},
                      {6, 0, S::Unsolicited, u"+CMTI: \"SM\",3"},
                      {2, 0, S::Ok, u"OK"}});
}

TEST(ReplyParserTest, BareCarriageReturnsAndBlankLinesSplitLines) {
  ReplyParser parser;
  ReplyRecorder sink;
  ReceiveBuffer buffer;
  feed(parser, sink, buffer, "+CMT: ,23\r07918497\r+CMTI: \"ME\",1\r\r\n\n\rOK\n");
  expectEvents(sink, {{5, 0, S::Unsolicited, u"+CMT: ,23"},
                      {7, 0, S::Unsolicited, u"07918497"},
                      {6, 0, S::Unsolicited, u"+CMTI: \"ME\",1"},
                      {2, 0, S::Ok, u"OK"}});
}

TEST(ReplyParserTest, SlotWithoutQueueGetsNoEventButTheFlagStillMoves) {
  ReplyParser parser;
  ReplyRecorder sink;
  sink.closed = {S::Unsolicited};
  ReceiveBuffer buffer;
  feed(parser, sink, buffer, "+CMGR: 0,,33\r\n0791\r\nOK\r\n");
  expectEvents(sink, {{2, 0, S::Ok, u"OK"}});
}

TEST(ReplyParserTest, BadBytesNeverStopTheLinesBehindThem) {
  ReplyParser parser;
  ReplyRecorder sink;
  ReceiveBuffer buffer;
  std::string garbage("\x00\x01\xff\xfe\xc3(\xe2\x82>\x1a", 11);
  feed(parser, sink, buffer, garbage + "\r\nOK\r\n");
  ASSERT_EQ(sink.entries.size(), 2u);
  EXPECT_EQ(sink.entries[0].event->kind, 7);
  EXPECT_EQ(sink.entries[0].event->text,
            std::u16string(u"\0\x01\xFFFD\xFFFD\xFFFD(\xFFFD>\x1A", 10));
  EXPECT_EQ(sink.entries[0].event->raw, toUtf8(sink.entries[0].event->text));
  EXPECT_EQ(sink.entries[1].event->kind, 2);
}

TEST(ReplyParserTest, OverlongLineIsDroppedAndTheNextLinesArrive) {
  ReplyParser parser;
  ReplyRecorder sink;
  ReceiveBuffer buffer;
  const std::string flood(70'000, 'x');
  // In pieces, as reads deliver it: the buffer never holds more than its 65,535 bytes.
  for (std::size_t i = 0; i < flood.size(); i += 4096) {
    feed(parser, sink, buffer, flood.substr(i, 4096));
    ASSERT_LE(buffer.length(), ReceiveBuffer::kMaxLength);
  }
  feed(parser, sink, buffer, "yyy\r\n+CMTI: \"SM\",1\r\nOK\r\n");
  expectEvents(sink, {{6, 0, S::Unsolicited, u"+CMTI: \"SM\",1"}, {2, 0, S::Ok, u"OK"}});
}

}  // namespace
}  // namespace parlane
