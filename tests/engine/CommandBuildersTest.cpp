#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"
#include "engine/CommandText.h"
#include "engine/DeleteCommands.h"
#include "engine/DiagnosticPayload.h"
#include "engine/ReplyFields.h"
#include "engine/UssdCommand.h"
#include "engine/UssdReply.h"
#include "message/USSDRequest.h"

namespace parlane {
namespace {

TEST(DeleteCommands, DeleteOneNamesTheIndex) {
  EXPECT_EQ(deleteOneCommand(5)->text, u"AT+CMGD=5\r\n");
  EXPECT_EQ(deleteOneCommand(0)->text, u"AT+CMGD=0\r\n");
}

TEST(DeleteCommands, DeleteAllDefaultsToFlagFourAndTakesTheConfiguredCommand) {
  SettingsStore settings;
  EXPECT_EQ(deleteAllCommand(settings)->text, u"AT+CMGD=1,4\r\n");
  settings.setString("sender.delete_all_cmd", u"AT+CMGDA=\"DEL ALL\"");
  EXPECT_EQ(deleteAllCommand(settings)->text, u"AT+CMGDA=\"DEL ALL\"\r\n");
}

TEST(DeleteCommands, ModeOutsideTheKnownValuesNeverDeletes) {
  SettingsStore settings;
  const struct {
    int value;
    DeleteMode mode;
  } cases[] = {{0, DeleteMode::kNever},
               {1, DeleteMode::kEachMessage},
               {2, DeleteMode::kAllAfterCount},
               {3, DeleteMode::kNever},
               {-1, DeleteMode::kNever}};
  for (const auto& c : cases) {
    settings.setInt("sender.delete_mode", c.value);
    EXPECT_EQ(readDeleteMode(settings), c.mode) << c.value;
  }
}

TEST(ReplyFields, SplitsAtCommasOutsideQuotesAndUnquotes) {
  const struct {
    std::u16string value;
    std::vector<std::u16string> fields;
  } cases[] = {
      {u"\"SM\",0,20,\"SM\",0,20,\"SM\",0,20",
       {u"SM", u"0", u"20", u"SM", u"0", u"20", u"SM", u"0", u"20"}},
      {u"2,\"Balance: 1,50 EUR\",15", {u"2", u"Balance: 1,50 EUR", u"15"}},
      {u" \"+4917\" , ,\"\"", {u"+4917", u"", u""}},
      {u"", {u""}},
      // An unclosed quote runs to the end; nothing is lost.
      {u"1,\"open,end", {u"1", u"\"open,end"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(splitReplyFields(c.value), c.fields) << toUtf8(c.value);
  }
}

TEST(ReplyFields, ValueIsWhatFollowsTheFirstColon) {
  EXPECT_EQ(replyValue(u"+CMTI: \"SM\",5"), u"\"SM\",5");
  EXPECT_EQ(replyValue(u"+CUSD: 0,\"a:b\""), u"0,\"a:b\"");
  EXPECT_EQ(replyValue(u"  Emulator "), u"Emulator");
}

TEST(UssdReply, DecodesTheQuotedTextWithItsScheme) {
  const struct {
    std::u16string line;
    int mode;
    std::optional<std::u16string> shown;
  } cases[] = {
      {u"+CUSD: 2,\"Your current balance is $ 22.10\",15", 0, u"Your current balance is $ 22.10"},
      // Hexadecimal UCS2 digits read automatically, and as asked.
      {u"+CUSD: 0,\"004F004B\",72", 0, u"OK"},
      {u"+CUSD: 0,\"004F004B\",72", 3, u"OK"},
      {u"+CUSD: 0,\"4F4B\",15", 4, u"OK"},
      {u"+CUSD: 0,\"4F4B\",15", 1, u"4F4B"},
      // No scheme: 15.
      {u"+CUSD: 0,\"Hello\"", 0, u"Hello"},
      // A bare status carries nothing to show.
      {u"+CUSD: 2", 0, std::nullopt},
      {u"+CUSD: 4,\"\",15", 0, std::nullopt},
      {u"+CUSD:", 0, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(decodeUssdReply(c.line, c.mode), c.shown) << toUtf8(c.line) << " mode " << c.mode;
  }
}

TEST(UssdCommand, PresentationCodingAndPacking) {
  USSDRequest request(u"", u"", u"*100#");
  EXPECT_EQ(ussdCommandLine(request, 0), "AT+CUSD=1,\"*100#\",15\r\n");
  request.flags = 8;
  EXPECT_EQ(ussdCommandLine(request, 0), "AT+CUSD=0,\"*100#\",15\r\n");
  request.flags = 0;
  // The septets of *100# packed: 2A 31 30 30 23.
  EXPECT_EQ(ussdCommandLine(request, 5), "AT+CUSD=1,\"AA180C3602\",15\r\n");
}

TEST(UssdCommand, TextCannotEndTheArgumentOrTheLine) {
  USSDRequest request(u"", u"", u"*100#\"\r\nAT+CMGD=1,4\r\n\x1a");
  EXPECT_EQ(ussdCommandLine(request, 0), "AT+CUSD=1,\"*100#AT+CMGD=1,4\",15\r\n");
}

TEST(CommandText, BodyLosesOnlyTheCharactersThatEndOrAbortIt) {
  EXPECT_EQ(safeBody("line 1\r\nline \"2\"\x1a"
                     "AT+CMGD=1,4\r\x1b"),
            "line 1\r\nline \"2\"AT+CMGD=1,4\r");
  EXPECT_EQ(quotableArgument("+49 \"170\"\r\n"), "+49 170");
}

TEST(DiagnosticPayload, FullUnitOfDistinctPositions) {
  const std::u16string payload = diagnosticPayload();
  ASSERT_EQ(payload.size(), 140u);
  for (std::size_t i = 0; i < payload.size(); ++i) EXPECT_EQ(payload[i], i);
}

}  // namespace
}  // namespace parlane
