// The escapes of a delivery report's URL and of the incoming messages' URL.
#include <gtest/gtest.h>

#include <string>

#include "service/UrlEscapes.h"

namespace parlane {
namespace {

struct EscapeCase {
  std::string name;
  std::string pattern;
  UrlEscapeSet set;
  std::string expanded;
};

void PrintTo(const EscapeCase& c, std::ostream* os) { *os << c.name; }

// 2026-12-10 16:40:05 UTC.
constexpr long long kTime = 1'796'920'805;

UrlEscapeValues values() {
  UrlEscapeValues v;
  v.reportValue = "1";
  v.receiver = "004917012345";
  v.sender = "+49 170 999";
  v.time = kTime;
  v.id = "h0123abcd";
  v.answer = "CMS ERROR: 500 & more";
  v.reference = "42";
  v.text = "  STATUS web1  über/alles? ";
  v.instance = "2";
  return v;
}

class UrlEscapesTest : public testing::TestWithParam<EscapeCase> {};

TEST_P(UrlEscapesTest, ReplacesEachEscapeWithItsEncodedValue) {
  EXPECT_EQ(expandUrlEscapes(GetParam().pattern, values(), GetParam().set), GetParam().expanded);
}

constexpr auto kReport = UrlEscapeSet::DeliveryReport;
constexpr auto kIncoming = UrlEscapeSet::Incoming;

INSTANTIATE_TEST_SUITE_P(
    Cases, UrlEscapesTest,
    testing::Values(
        EscapeCase{"ReportFields", "http://h/dlr?s=%d&to=%p&id=%I&ref=%F", kReport,
                   "http://h/dlr?s=1&to=004917012345&id=h0123abcd&ref=42"},
        EscapeCase{"SenderEncoded", "/x?from=%P", kReport, "/x?from=%2B49%20170%20999"},
        EscapeCase{"LeadingZerosBecomePlus", "/x?to=%q", kReport, "/x?to=%2B4917012345"},
        EscapeCase{"MinuteTimeInUtc", "/x?t=%t", kReport, "/x?t=2026-12-10%2016%3A40"},
        EscapeCase{"EpochSeconds", "/x?T=%T", kReport, "/x?T=1796920805"},
        EscapeCase{"AnswerEncoded", "/x?a=%A", kReport, "/x?a=CMS%20ERROR%3A%20500%20%26%20more"},
        EscapeCase{"DoublePercentIsOne", "/x?p=100%%", kReport, "/x?p=100%"},
        EscapeCase{"UnknownEscapeKept", "/x?v=%z%", kReport, "/x?v=%z%"},
        EscapeCase{"IncomingEscapesNotInAReport", "/x?a=%a&k=%k", kReport, "/x?a=%a&k=%k"},
        EscapeCase{"WholeText", "/x?a=%a", kIncoming,
                   "/x?a=%20%20STATUS%20web1%20%20%C3%BCber%2Falles%3F%20"},
        EscapeCase{"FirstWord", "/x?k=%k", kIncoming, "/x?k=STATUS"},
        EscapeCase{"WordsAfterTheFirst", "/x?r=%r", kIncoming,
                   "/x?r=web1%20%20%C3%BCber%2Falles%3F%20"},
        EscapeCase{"Instance", "/x?i=%i", kIncoming, "/x?i=2"},
        EscapeCase{"NoEscapes", "http://h/plain", kIncoming, "http://h/plain"}),
    [](const testing::TestParamInfo<EscapeCase>& info) { return info.param.name; });

struct WordCase {
  std::string name;
  std::string text;
  std::string first;
  std::string rest;
};

void PrintTo(const WordCase& c, std::ostream* os) { *os << c.name; }

class FirstWordTest : public testing::TestWithParam<WordCase> {};

TEST_P(FirstWordTest, SplitsTheTextAsAKeywordService) {
  UrlEscapeValues v;
  v.text = GetParam().text;
  EXPECT_EQ(expandUrlEscapes("%k|%r", v, kIncoming), GetParam().first + "|" + GetParam().rest);
}

INSTANTIATE_TEST_SUITE_P(Cases, FirstWordTest,
                         testing::Values(WordCase{"Empty", "", "", ""},
                                         WordCase{"OneWord", "PING", "PING", ""},
                                         WordCase{"OnlySpaces", "   ", "", ""},
                                         WordCase{"LineBreakSeparates", "A\nB", "A", "B"}),
                         [](const testing::TestParamInfo<WordCase>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace parlane
