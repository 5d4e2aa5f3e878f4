#include "gsm/CodePageTable.h"

#include <array>

namespace parlane {

namespace {

// Windows code page numbers with the glibc iconv name and the MIME names mail and web pages use.
constexpr std::array kCodePages = {
    CodePageName{437, "CP437", "ibm437", "ibm437", u"OEM United States", 0},
    CodePageName{850, "CP850", "ibm850", "ibm850", u"Western European (DOS)", 0},
    CodePageName{866, "CP866", "cp866", "cp866", u"Cyrillic (DOS)", 1251},
    CodePageName{874, "CP874", "windows-874", "windows-874", u"Thai (Windows)", 0},
    CodePageName{932, "CP932", "iso-2022-jp", "shift_jis", u"Japanese (Shift-JIS)", 0},
    CodePageName{936, "CP936", "gb2312", "gb2312", u"Chinese Simplified (GB2312)", 0},
    CodePageName{949, "CP949", "ks_c_5601-1987", "ks_c_5601-1987", u"Korean", 0},
    CodePageName{950, "CP950", "big5", "big5", u"Chinese Traditional (Big5)", 0},
    CodePageName{1250, "CP1250", "iso-8859-2", "windows-1250", u"Central European (Windows)", 0},
    CodePageName{1251, "CP1251", "koi8-r", "windows-1251", u"Cyrillic (Windows)", 0},
    CodePageName{1252, "CP1252", "iso-8859-1", "windows-1252", u"Western European (Windows)", 0},
    CodePageName{1253, "CP1253", "iso-8859-7", "windows-1253", u"Greek (Windows)", 0},
    CodePageName{1254, "CP1254", "iso-8859-9", "windows-1254", u"Turkish (Windows)", 0},
    CodePageName{1255, "CP1255", "windows-1255", "windows-1255", u"Hebrew (Windows)", 0},
    CodePageName{1256, "CP1256", "windows-1256", "windows-1256", u"Arabic (Windows)", 0},
    CodePageName{1257, "CP1257", "windows-1257", "windows-1257", u"Baltic (Windows)", 0},
    CodePageName{1258, "CP1258", "windows-1258", "windows-1258", u"Vietnamese (Windows)", 0},
    CodePageName{10000, "MACINTOSH", "macintosh", "macintosh", u"Western European (Mac)", 1252},
    CodePageName{20127, "ASCII", "us-ascii", "us-ascii", u"US-ASCII", 1252},
    CodePageName{20866, "KOI8-R", "koi8-r", "koi8-r", u"Cyrillic (KOI8-R)", 1251},
    CodePageName{21866, "KOI8-U", "koi8-u", "koi8-u", u"Cyrillic (KOI8-U)", 1251},
    CodePageName{28591, "ISO-8859-1", "iso-8859-1", "iso-8859-1", u"Western European (ISO)", 1252},
    CodePageName{28592, "ISO-8859-2", "iso-8859-2", "iso-8859-2", u"Central European (ISO)", 1250},
    CodePageName{28593, "ISO-8859-3", "iso-8859-3", "iso-8859-3", u"Latin 3 (ISO)", 1254},
    CodePageName{28594, "ISO-8859-4", "iso-8859-4", "iso-8859-4", u"Baltic (ISO)", 1257},
    CodePageName{28595, "ISO-8859-5", "iso-8859-5", "iso-8859-5", u"Cyrillic (ISO)", 1251},
    CodePageName{28596, "ISO-8859-6", "iso-8859-6", "iso-8859-6", u"Arabic (ISO)", 1256},
    CodePageName{28597, "ISO-8859-7", "iso-8859-7", "iso-8859-7", u"Greek (ISO)", 1253},
    CodePageName{28598, "ISO-8859-8", "iso-8859-8", "iso-8859-8", u"Hebrew (ISO-Visual)", 1255},
    CodePageName{28599, "ISO-8859-9", "iso-8859-9", "iso-8859-9", u"Turkish (ISO)", 1254},
    CodePageName{28600, "ISO-8859-10", "iso-8859-10", "iso-8859-10", u"Nordic (ISO)", 0},
    CodePageName{28601, "ISO-8859-11", "iso-8859-11", "iso-8859-11", u"Thai (ISO)", 874},
    CodePageName{28603, "ISO-8859-13", "iso-8859-13", "iso-8859-13", u"Estonian (ISO)", 1257},
    CodePageName{28604, "ISO-8859-14", "iso-8859-14", "iso-8859-14", u"Celtic (ISO)", 0},
    CodePageName{28605, "ISO-8859-15", "iso-8859-15", "iso-8859-15", u"Latin 9 (ISO)", 1252},
    CodePageName{50220, "ISO-2022-JP", "iso-2022-jp", "iso-2022-jp", u"Japanese (JIS)", 932},
    CodePageName{51932, "EUC-JP", "euc-jp", "euc-jp", u"Japanese (EUC)", 932},
    CodePageName{51949, "EUC-KR", "euc-kr", "euc-kr", u"Korean (EUC)", 949},
    CodePageName{54936, "GB18030", "gb18030", "gb18030", u"Chinese Simplified (GB18030)", 936},
    CodePageName{65001, "UTF-8", "utf-8", "utf-8", u"Unicode (UTF-8)", 1200},
};

}  // namespace

std::span<const CodePageName> knownCodePages() { return kCodePages; }

const char* iconvNameForCodePage(std::uint32_t codePage) {
  for (const CodePageName& entry : kCodePages) {
    if (entry.codePage == codePage) return entry.iconvName;
  }
  return nullptr;
}

}  // namespace parlane
