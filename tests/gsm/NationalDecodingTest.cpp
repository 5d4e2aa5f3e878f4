#include <gtest/gtest.h>

#include <string>

#include "core/util/Utf.h"
#include "gsm/HexOctets.h"
#include "gsm/PduDecoder.h"
#include "gsm/UserDataHeader.h"

namespace parlane {
namespace {

// SMS-DELIVER units written out by hand: service centre, first octet (0x44 with a header), sender
// 123456, TP-PID, TP-DCS, time stamp, TP-UDL in septets, then UDHL, the elements and the text
// packed from the first septet boundary after the header.
struct NationalDeliverCase {
  const char* name;
  const char* hex;
  std::u16string text;
  int locking;
  int shift;
  int reference = 0;
  int total = 1;
  int index = 0;
};

void PrintTo(const NationalDeliverCase& c, std::ostream* out) { *out << c.name; }

const NationalDeliverCase kCases[] = {
    {"TurkishLockingShift",
     "079144775810065044068121436500000150024103004013032501010833C2605027DD29830EECC31A",
     u"a\u011Fa\u00E7 \u015Fi\u015Fe \u0131l\u0131k", 1, 0},
    {"TurkishSingleShift",
     "07914477581006504406812143650000015002410300400D03240101D81C419B39688302", u"\u011E \u015F {",
     0, 1},
    {"HindiBothTables",
     "079144775810065044068121436500000150024103004015062501062401062F21F37BCA82364937391D06",
     u"\u0928\u092E\u0938\u094D\u0924\u0947 India", 6, 6},
    {"ConcatenatedPartCarriesItsLanguage",
     "0791447758100650440681214365000001500241030040120800032A0202240102203C1EA7376F37",
     u"acci\u00F3n", 0, 2, 42, 2, 1},
    {"SpanishHasNoLockingTable", "07914477581006504406812143650000015002410300400603250102E800",
     u"\u00E6", 0, 0},
    {"UnknownLanguageReadsDefault",
     "07914477581006504406812143650000015002410300400A0324010ED8A0F09B14", u"{x}", 0, 0},
    {"WrongElementLengthIsPassedOver",
     "07914477581006504406812143650000015002410300400D09250201000003050201D001", u"\u00E6", 0, 0, 5,
     2, 0},
    {"ElementRunningPastTheHeaderStops",
     "07914477581006504406812143650000015002410300400803240501E86C50", u"\u00E6{", 0, 0},
    {"ShiftGapShowsTheLockingCharacter",
     "07914477581006504406812143650000015002410300400803240101D8043B", u"A\u00E6", 0, 1},
    {"UnassignedLockingSeptetShowsReplacement",
     "07914477581006504406812143650000015002410300400703250104600C00", u"\uFFFD\u0985", 4, 0},
    {"SecondEscapeIsASpace", "07914477581006504406812143650000015002410300400803240101D86C82",
     u" A", 0, 1},
    {"EightBitIgnoresTheLanguage", "079144775810065044068121436500040150024103004005032501011D",
     u"\x1D", 0, 0},
};

class NationalDeliver : public testing::TestWithParam<NationalDeliverCase> {};

TEST_P(NationalDeliver, ReadsTheTextWithTheHeadersTables) {
  const NationalDeliverCase& c = GetParam();
  const auto octets = hexToOctets(c.hex);
  ASSERT_TRUE(octets.has_value());
  const auto pdu = decodeDeliverPdu(*octets);
  ASSERT_TRUE(pdu.has_value());
  EXPECT_EQ(toUtf8(pdu->text), toUtf8(c.text));
  EXPECT_EQ(pdu->lockingLanguage, c.locking);
  EXPECT_EQ(pdu->shiftLanguage, c.shift);
  EXPECT_EQ(pdu->reference, c.reference);
  EXPECT_EQ(pdu->total, c.total);
  EXPECT_EQ(pdu->index, c.index);
}

// Cut short anywhere, a unit with language elements gives nothing rather than a partial text.
TEST_P(NationalDeliver, EveryTruncationIsRejected) {
  const auto octets = hexToOctets(GetParam().hex).value_or(std::vector<std::uint8_t>{});
  for (std::size_t length = 0; length < octets.size(); ++length) {
    EXPECT_FALSE(decodeDeliverPdu(std::span(octets).first(length)).has_value()) << length;
  }
}

INSTANTIATE_TEST_SUITE_P(Pdu, NationalDeliver, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct HeaderCase {
  const char* name;
  std::vector<std::uint8_t> header;
  GsmLanguages languages;
};

void PrintTo(const HeaderCase& c, std::ostream* out) { *out << c.name; }

class LanguageElements : public testing::TestWithParam<HeaderCase> {};

TEST_P(LanguageElements, NameTheTables) {
  EXPECT_EQ(languagesOfHeader(GetParam().header), GetParam().languages);
}

INSTANTIATE_TEST_SUITE_P(
    Header, LanguageElements,
    testing::Values(
        HeaderCase{"Empty", {}, {0, 0}}, HeaderCase{"LockingOnly", {0x25, 0x01, 0x03}, {3, 0}},
        HeaderCase{"ShiftOnly", {0x24, 0x01, 0x0D}, {0, 13}},
        HeaderCase{"AfterConcat", {0x00, 0x03, 1, 2, 1, 0x24, 0x01, 0x02}, {0, 2}},
        HeaderCase{"LongerElementIsPassedOver", {0x25, 0x02, 0x01, 0x00, 0x24, 0x01, 0x01}, {0, 1}},
        HeaderCase{"EmptyElementIsPassedOver", {0x25, 0x00, 0x24, 0x01, 0x01}, {0, 1}},
        HeaderCase{"SpanishLockingDoesNotExist", {0x25, 0x01, 0x02}, {0, 0}},
        HeaderCase{"IdBeyondThirteen", {0x25, 0x01, 0x0E, 0x24, 0x01, 0xFF}, {0, 0}},
        HeaderCase{"ElementPastTheEnd", {0x24, 0x01}, {0, 0}},
        HeaderCase{"LoneIdentifier", {0x25}, {0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace parlane
