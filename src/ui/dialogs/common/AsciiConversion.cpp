#include "ui/dialogs/common/AsciiConversion.h"

namespace parlane {

namespace {

char16_t asciiFor(char16_t unit) {
  switch (unit) {
    case u'\u00C0':
    case u'\u00C1':
    case u'\u00C2':
    case u'\u00C3':
      return u'A';
    case u'\u00E0':
    case u'\u00E1':
    case u'\u00E2':
    case u'\u00E3':
      return u'a';
    case u'\u00C7':
      return u'C';
    case u'\u00E7':
      return u'c';
    case u'\u00C9':
    case u'\u00CA':
      return u'E';
    case u'\u00E9':
    case u'\u00EA':
      return u'e';
    case u'\u00CD':
    case u'\u0130':
      return u'I';
    case u'\u00ED':
    case u'\u0131':
      return u'i';
    case u'\u00D1':
      return u'N';
    case u'\u00F1':
      return u'n';
    case u'\u00D3':
    case u'\u00D4':
    case u'\u00D5':
    case u'\u00D6':
      return u'O';
    case u'\u00F3':
    case u'\u00F4':
    case u'\u00F5':
    case u'\u00F6':
      return u'o';
    case u'\u00DA':
    case u'\u00DC':
      return u'U';
    case u'\u00FA':
    case u'\u00FC':
      return u'u';
    case u'\u011E':
      return u'G';
    case u'\u011F':
      return u'g';
    case u'\u015E':
      return u'S';
    case u'\u015F':
      return u's';
    case u'\u00B4':
    case u'\u2019':
      return u'\'';
    case u'\u2018':
      return u'`';
    default:
      return unit;
  }
}

}  // namespace

bool convertToAscii(std::u16string& text) {
  bool ascii = true;
  for (char16_t& unit : text) {
    if (unit < 0x80) continue;
    unit = asciiFor(unit);
    if (unit >= 0x80) ascii = false;
  }
  return ascii;
}

}  // namespace parlane
