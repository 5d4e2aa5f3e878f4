// The mapping of a sendsms query to messages, without a server.
#include <gtest/gtest.h>

#include <string>

#include "core/util/Clock.h"
#include "core/util/Utf.h"
#include "message/GenericMessage.h"
#include "message/MessageFlags.h"
#include "service/SendSmsRequest.h"

namespace parlane {
namespace {

struct QueryCase {
  std::string name;
  std::string query;
  HttpParams params;
};

void PrintTo(const QueryCase& c, std::ostream* os) { *os << c.name; }

class QueryDecoding : public testing::TestWithParam<QueryCase> {};

TEST_P(QueryDecoding, GivesTheFieldsAScriptMeant) {
  EXPECT_EQ(parseQueryString(GetParam().query), GetParam().params);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QueryDecoding,
    testing::Values(QueryCase{"PlusIsASpace",
                              "to=%2B49170+%2B49171&text=a+b",
                              {{"to", "+49170 +49171"}, {"text", "a b"}}},
                    QueryCase{"Utf8Escapes", "text=%C3%BCber", {{"text", "über"}}},
                    QueryCase{
                        "LonePercentStays", "text=100%&x=%4", {{"text", "100%"}, {"x", "%4"}}},
                    QueryCase{"EmptyPairsSkipped", "&&to=1&&flag", {{"to", "1"}, {"flag", ""}}},
                    QueryCase{"EqualsInValue", "text=a=b", {{"text", "a=b"}}}),
    [](const testing::TestParamInfo<QueryCase>& info) { return info.param.name; });

struct MappingCase {
  std::string name;
  std::string query;
  std::string reason;  // empty: mapped
  std::string text;
  std::int32_t flags = 0;
  std::int64_t validity = 0;  // seconds after creation; 0: the default
  std::int64_t deferred = 0;  // "not before", seconds after now; 0: none
};

void PrintTo(const MappingCase& c, std::ostream* os) { *os << c.name; }

class SendSmsMappingTest : public testing::TestWithParam<MappingCase> {};

TEST_P(SendSmsMappingTest, MapsOrRefuses) {
  ManualClock clock;
  const SendSmsMapping mapping = mapSendSms(parseQueryString(GetParam().query), 100, clock);
  if (!GetParam().reason.empty()) {
    EXPECT_EQ(mapping.reason, GetParam().reason);
    EXPECT_TRUE(mapping.messages.empty());
    return;
  }
  ASSERT_EQ(mapping.status, 0) << mapping.reason;
  ASSERT_EQ(mapping.messages.size(), 1u);
  const GenericMessage& message = *mapping.messages[0];
  EXPECT_EQ(toUtf8(message.content), GetParam().text);
  EXPECT_EQ(message.flags, GetParam().flags);
  if (GetParam().validity > 0) {
    EXPECT_EQ(message.expiry - message.created, GetParam().validity);
  }
  EXPECT_EQ(message.notBefore,
            GetParam().deferred > 0 ? clock.wallSeconds() + GetParam().deferred : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SendSmsMappingTest,
    testing::Values(
        MappingCase{"Latin1", "to=%2B49170&text=caf%E9&charset=ISO-8859-1", "", "café"},
        MappingCase{"UnknownCharset", "to=%2B49170&text=a&charset=NO-SUCH",
                    "Text is not valid NO-SUCH", ""},
        MappingCase{"Flash", "to=%2B49170&text=a&mclass=0", "", "a", messageFlags::kFlash},
        MappingCase{"ClassBeyondThree", "to=%2B49170&text=a&mclass=4", "Invalid mclass 4", ""},
        MappingCase{"ValidityInMinutes", "to=%2B49170&text=a&validity=90", "", "a", 0, 5400},
        MappingCase{"NegativeValidity", "to=%2B49170&text=a&validity=-1", "Invalid validity -1",
                    ""},
        MappingCase{"Ucs2", "to=%2B49170&text=a&coding=2", "", "a", messageFlags::kUcs2},
        MappingCase{"ClassOne", "to=%2B49170&text=a&mclass=1", "", "a",
                    1 << messageFlags::kClassShift},
        MappingCase{"ClassThreeUcs2", "to=%2B49170&text=a&mclass=3&coding=2", "", "a",
                    messageFlags::kUcs2 | (3 << messageFlags::kClassShift)},
        MappingCase{"BinaryOctetsAsHex", "to=%2B49170&text=%00%FF%09%0A&coding=1", "", "00FF090A",
                    messageFlags::kBinary},
        MappingCase{"BinaryWithHeader",
                    "to=%2B49170&udh=%06%05%04%0B%84%23%F0&text=%AA&coding=1&charset=ISO-8859-1",
                    "", "0605040B8423F0AA", messageFlags::kBinary | messageFlags::kUserDataHeader},
        MappingCase{"BinaryHeaderLengthWrong", "to=%2B49170&udh=%07%05%04&text=%AA&coding=1",
                    "Invalid udh: its first octet must give the length of the rest", ""},
        MappingCase{"BinaryBeyondOneUnit",
                    "to=%2B49170&udh=%02%00%00&text=" + std::string(138, 'x') + "&coding=1",
                    "Binary message too long (141 octets, at most 140)", ""},
        MappingCase{"UnknownCoding", "to=%2B49170&text=a&coding=3", "Invalid coding 3", ""},
        MappingCase{"NoText", "to=%2B49170", "Missing text", ""},
        MappingCase{"EmptyText", "to=%2B49170&text=", "Invalid request: an empty text", ""},
        MappingCase{"DlrUrlAsksForAStatusReport",
                    "to=%2B49170&text=a&dlr-mask=31&dlr-url=http%3A%2F%2Fh%2Fd", "", "a",
                    messageFlags::kReport},
        MappingCase{"AcceptedOnlyAsksNoStatusReport",
                    "to=%2B49170&text=a&dlr-mask=8&dlr-url=http%3A%2F%2Fh%2Fd", "", "a"},
        MappingCase{"DlrMaskWithoutUrlAsksNothing", "to=%2B49170&text=a&dlr-mask=1", "", "a"},
        MappingCase{"DlrMaskBeyondAllReports", "to=%2B49170&text=a&dlr-mask=32",
                    "Invalid dlr-mask 32", ""},
        MappingCase{"DeferredMinutesHoldItBack", "to=%2B49170&text=a&deferred=10", "", "a", 0, 0,
                    600},
        MappingCase{"DeferredZeroSendsAtOnce", "to=%2B49170&text=a&deferred=0", "", "a"},
        MappingCase{"DeferredNegative", "to=%2B49170&text=a&deferred=-5", "Invalid deferred -5",
                    ""},
        MappingCase{"DeferredNoNumber", "to=%2B49170&text=a&deferred=soon", "Invalid deferred soon",
                    ""},
        MappingCase{"DeferredBeyondTenYears", "to=%2B49170&text=a&deferred=6000000",
                    "Invalid deferred 6000000", ""}),
    [](const testing::TestParamInfo<MappingCase>& info) { return info.param.name; });

TEST(SendSmsNotes, NameEachFieldThatIsTakenButIgnored) {
  const SendSmsMapping mapping = mapSendSms(
      parseQueryString("to=%2B49170&text=a&from=me&dlr-url=http%3A%2F%2Fx&deferred=5"), 100);
  ASSERT_EQ(mapping.status, 0);
  EXPECT_EQ(mapping.notes, (std::vector<std::string>{"from is not supported yet, ignored"}));
}

TEST(SendSmsNotes, NameAHeaderWithoutBinaryCoding) {
  const SendSmsMapping mapping =
      mapSendSms(parseQueryString("to=%2B49170&text=a&udh=%02%00%00"), 100);
  ASSERT_EQ(mapping.status, 0);
  EXPECT_EQ(mapping.notes, (std::vector<std::string>{"udh is only used with coding=1, ignored"}));
  EXPECT_EQ(mapping.messages.at(0)->flags, 0);
}

}  // namespace
}  // namespace parlane
