#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SubmitUnitView.h"
#include "gsm/PduEncoder.h"
#include "message/SMSMessage.h"

namespace parlane {
namespace {

using test::SubmitUnitView;
using test::toHex;
using test::viewSubmitUnit;

// 200 characters of Turkish with ş, ğ and ı, all of them in the Turkish locking shift table.
std::u16string turkish200() {
  const std::u16string sentence =
      u"Ya\u011Fmurlu bir g\u00FCnde \u015Fehrin \u0131\u015F\u0131klar\u0131 yanar, "
      u"\u00E7ocuklar oyun oynar. ";
  std::u16string text;
  while (text.size() < 200) text += sentence;
  text.resize(200);
  return text;
}

std::u16string repeated(std::u16string_view piece, std::size_t times) {
  std::u16string text;
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

struct ChoiceCase {
  const char* name;
  std::u16string text;
  std::vector<int> languages;
  int lengthCorrection;
  std::uint8_t coding;  // TP-DCS
  // The national language elements of every unit's header, as hexadecimal.
  std::string elements;
  // Text septets (or octets for UCS2) of each unit.
  std::vector<std::size_t> sizes;
};

void PrintTo(const ChoiceCase& c, std::ostream* out) { *out << c.name; }

const ChoiceCase kChoices[] = {
    {"TurkishWithoutTheSettingIsUcs2", turkish200(), {}, 0, 0x08, "", {134, 134, 132}},
    {"TurkishAllowedFitsTwoParts", turkish200(), {1}, 0, 0x00, "250101", {149, 51}},
    {"TurkishNotAmongTheAllowedIsUcs2", turkish200(), {2, 3}, 0, 0x08, "", {134, 134, 132}},
    {"LengthCorrectionShortensTheParts", turkish200(), {1}, 2, 0x00, "250101", {146, 54}},
    {"DefaultAlphabetAccentsNeedNoElement", u"caf\u00E9 \u00FCber", {1}, 0, 0x00, "", {9}},
    {"AsciiStaysAsItWas", u"plain {text}", {1}, 0, 0x00, "", {14}},
    {"LockingShiftBeforeEscapes", u"a\u011F", {1}, 0, 0x00, "250101", {2}},
    {"SingleShiftKeepsTheDefaultLetters", u"\u015F\u00E8", {1}, 0, 0x00, "240101", {3}},
    {"SpanishHasOnlyASingleShiftTable", u"acci\u00F3n", {2}, 0, 0x00, "240102", {7}},
    {"HindiWithCapitalsNeedsBothTables",
     u"\u0928\u092E\u0938\u094D\u0924\u0947 India",
     {6},
     0,
     0x00,
     "240106250106",
     {13}},
    {"CharacterInNoTableIsUcs2", u"\u015F\u263A", {1}, 0, 0x08, "", {4}},
    {"OneElementSingleUnitHolds155", repeated(u"\u015F", 155), {1}, 0, 0x00, "250101", {155}},
    {"OneElementLongerTextParts149", repeated(u"\u015F", 156), {1}, 0, 0x00, "250101", {149, 7}},
    {"TwoElementsPartsHold146",
     u"I" + repeated(u"\u0928", 300),
     {6},
     0,
     0x00,
     "240106250106",
     {146, 146, 10}},
    {"UnknownIdsAreIgnored", u"a\u011F", {14, -1, 1}, 0, 0x00, "250101", {2}},
};

class NationalChoice : public testing::TestWithParam<ChoiceCase> {};

TEST_P(NationalChoice, PicksTheTablesWithTheFewestParts) {
  const ChoiceCase& c = GetParam();
  PduEncoderOptions options;
  options.lengthCorrection = c.lengthCorrection;
  options.nationalLanguages = c.languages;
  const PduEncoder encoder(options);
  const std::vector<Octets> units =
      encoder.encodeTextSubmit(SMSMessage(u"", u"+4917012345", c.text, 1));
  ASSERT_EQ(units.size(), c.sizes.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    SCOPED_TRACE("unit " + std::to_string(i + 1));
    const SubmitUnitView view = viewSubmitUnit(units[i]);
    ASSERT_TRUE(view.complete);
    EXPECT_EQ(view.dcs, c.coding);
    const bool header = (view.firstOctet & 0x40) != 0;
    std::size_t headerOctets = 0;
    std::string elements;
    if (header) {
      headerOctets = std::size_t{view.userData.at(0)} + 1;
      // The concatenation element first, then the language elements.
      std::size_t at = 1;
      if (units.size() > 1) {
        ASSERT_EQ(view.userData.at(1), 0x00);
        at += 5;
      }
      elements = toHex(Octets(view.userData.begin() + static_cast<std::ptrdiff_t>(at),
                              view.userData.begin() + static_cast<std::ptrdiff_t>(headerOctets)));
    }
    EXPECT_EQ(elements, c.elements);
    EXPECT_EQ(header, units.size() > 1 || !c.elements.empty());
    if (c.coding == 0x00) {
      const std::size_t headerSeptets = (headerOctets * 8 + 6) / 7;
      EXPECT_EQ(view.userDataLength - headerSeptets, c.sizes[i]);
      // The packed text fills exactly the octets its septets need after the header.
      EXPECT_EQ(view.userData.size(), (std::size_t{view.userDataLength} * 7 + 7) / 8);
      EXPECT_LE(view.userData.size(), 140u - static_cast<std::size_t>(c.lengthCorrection));
    } else {
      EXPECT_EQ(view.userDataLength - headerOctets, c.sizes[i]);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, NationalChoice, testing::ValuesIn(kChoices),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(NationalPlan, NamesTheTablesItChose) {
  PduEncoderOptions options;
  options.nationalLanguages = {2, 1};
  const PduEncoder encoder(options);
  const PduEncoder::TextPlan plan = encoder.planText(u"\u011F\u00F3");
  EXPECT_EQ(plan.coding, SmsCoding::Gsm7);
  // ğ is in the Turkish locking table, ó only in the Spanish single shift table.
  EXPECT_EQ(plan.languages, (GsmLanguages{1, 2}));
}

// A text that starts right after a header of any length begins on a septet boundary.
TEST(NationalPacking, FillBitsBringTheTextToTheSeptetBoundary) {
  struct Case {
    const char* name;
    unsigned fill;
    std::string hex;
  } cases[] = {
      {"NoFill", 0, "41E110"},
      {"OneBit", 1, "82C221"},
      {"ThreeBits", 3, "080A87"},
      {"SixBits", 6, "40503804"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(toHex(PduEncoder::packSeptetsFrom({0x41, 0x42, 0x43}, c.fill)), c.hex) << c.name;
  }
  EXPECT_EQ(toHex(PduEncoder::packSeptetsFrom({}, 3)), "");
}

}  // namespace
}  // namespace parlane
