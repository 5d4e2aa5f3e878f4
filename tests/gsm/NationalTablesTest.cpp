#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>

#include "core/util/Utf.h"
#include "gsm/GsmAlphabet.h"
#include "gsm/NationalTables.h"

namespace parlane {
namespace {

// One table file: NN-language-lock.tsv or NN-language-shift.tsv.
struct TableFile {
  const char* name;
  const char* file;
  int language;
  bool locking;
};

void PrintTo(const TableFile& c, std::ostream* out) { *out << c.name; }

const TableFile kTableFiles[] = {
    {"DefaultLock", "00-default-lock.tsv", 0, true},
    {"DefaultShift", "00-default-shift.tsv", 0, false},
    {"TurkishLock", "01-turkish-lock.tsv", 1, true},
    {"TurkishShift", "01-turkish-shift.tsv", 1, false},
    {"SpanishShift", "02-spanish-shift.tsv", 2, false},
    {"PortugueseLock", "03-portuguese-lock.tsv", 3, true},
    {"PortugueseShift", "03-portuguese-shift.tsv", 3, false},
    {"BengaliLock", "04-bengali-lock.tsv", 4, true},
    {"BengaliShift", "04-bengali-shift.tsv", 4, false},
    {"GujaratiLock", "05-gujarati-lock.tsv", 5, true},
    {"GujaratiShift", "05-gujarati-shift.tsv", 5, false},
    {"HindiLock", "06-hindi-lock.tsv", 6, true},
    {"HindiShift", "06-hindi-shift.tsv", 6, false},
    {"KannadaLock", "07-kannada-lock.tsv", 7, true},
    {"KannadaShift", "07-kannada-shift.tsv", 7, false},
    {"MalayalamLock", "08-malayalam-lock.tsv", 8, true},
    {"MalayalamShift", "08-malayalam-shift.tsv", 8, false},
    {"OriyaLock", "09-oriya-lock.tsv", 9, true},
    {"OriyaShift", "09-oriya-shift.tsv", 9, false},
    {"PunjabiLock", "10-punjabi-lock.tsv", 10, true},
    {"PunjabiShift", "10-punjabi-shift.tsv", 10, false},
    {"TamilLock", "11-tamil-lock.tsv", 11, true},
    {"TamilShift", "11-tamil-shift.tsv", 11, false},
    {"TeluguLock", "12-telugu-lock.tsv", 12, true},
    {"TeluguShift", "12-telugu-shift.tsv", 12, false},
    {"UrduLock", "13-urdu-lock.tsv", 13, true},
    {"UrduShift", "13-urdu-shift.tsv", 13, false},
};

const SeptetTable* compiledTable(const TableFile& c) {
  return c.locking ? lockingShiftTable(c.language) : singleShiftTable(c.language);
}

class NationalTableFile : public testing::TestWithParam<TableFile> {};

// The compiled tables are generated from these files (scripts/gen-gsm-national-tables); a table
// edited on one side only shows here.
TEST_P(NationalTableFile, MatchesTheCompiledTable) {
  const TableFile& c = GetParam();
  // A checkout without the reference data beside it can't compare; one with the folder must.
  struct stat folder {};
  if (::stat(PARLANE_NATIONAL_TABLES_DIR, &folder) != 0 || !S_ISDIR(folder.st_mode)) {
    GTEST_SKIP() << "no reference tables at " << PARLANE_NATIONAL_TABLES_DIR
                 << " (set PARLANE_NATIONAL_TABLES_DIR to the folder of the tables)";
  }
  const std::string path = std::string(PARLANE_NATIONAL_TABLES_DIR) + "/" + c.file;
  std::ifstream in(path);
  ASSERT_TRUE(in) << "can't read " << path
                  << " (set PARLANE_NATIONAL_TABLES_DIR to the folder of the tables)";
  const SeptetTable* table = compiledTable(c);
  ASSERT_NE(table, nullptr);
  std::string line;
  int septet = 0;
  while (std::getline(in, line)) {
    ASSERT_LT(septet, 128) << path << " has more than 128 lines";
    std::istringstream fields(line);
    std::string position, codePoint, character;
    std::getline(fields, position, '\t');
    std::getline(fields, codePoint, '\t');
    std::getline(fields, character);
    ASSERT_EQ(std::stoi(position, nullptr, 16), septet) << line;
    const char16_t expected =
        codePoint.empty() ? u'\0'
                          : static_cast<char16_t>(std::stoi(codePoint.substr(2), nullptr, 16));
    EXPECT_EQ(int{(*table)[septet]}, int{expected}) << c.file << " septet " << septet;
    // The character column is the code point's own character (or empty for a control).
    if (!character.empty()) {
      EXPECT_EQ(fromUtf8(character), std::u16string(1, expected)) << line;
    }
    ++septet;
  }
  EXPECT_EQ(septet, 128) << path;
}

INSTANTIATE_TEST_SUITE_P(Tsv, NationalTableFile, testing::ValuesIn(kTableFiles),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(NationalTables, SpanishAndUnknownIdsHaveNoTable) {
  EXPECT_EQ(lockingShiftTable(2), nullptr);
  EXPECT_EQ(lockingShiftTable(14), nullptr);
  EXPECT_EQ(lockingShiftTable(-1), nullptr);
  EXPECT_EQ(singleShiftTable(14), nullptr);
  EXPECT_EQ(nationalLanguageName(14), "");
  EXPECT_EQ(nationalLanguageName(1), "Turkish");
}

// The default alphabet's own functions and the generated default tables must not drift apart:
// the decoder reads through the tables, the rest of the program through the functions.
TEST(NationalTables, DefaultTablesAgreeWithTheDefaultAlphabet) {
  const SeptetTable& locking = *lockingShiftTable(0);
  const SeptetTable& shift = *singleShiftTable(0);
  for (int septet = 0; septet < 128; ++septet) {
    if (septet == kGsmEscape) continue;
    const auto s = static_cast<std::uint8_t>(septet);
    EXPECT_EQ(int{locking[s]}, int{gsmDefaultToUnicode(s)}) << "septet " << septet;
    const char16_t extension = shift[s] != 0 ? shift[s] : locking[s];
    EXPECT_EQ(int{extension}, int{gsmExtensionToUnicode(s)}) << "escape + septet " << septet;
  }
}

}  // namespace
}  // namespace parlane
