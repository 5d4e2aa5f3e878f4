#include <gtest/gtest.h>

#include "DatabaseFixture.h"

namespace parlane::test {
namespace {

// Columns id, name, note. keysOf run 01..05.
const char* kFolder =
    "01\tAnna\t10\r\n"
    "02\tbob\t-3\r\n"
    "03\tANNA\t7\r\n"
    "04\t\u00c9mile\tabc\r\n"
    "05\tHannah\t 25x\r\n";

using Keys16 = std::vector<std::u16string>;

struct SelectCase {
  const char* name;
  std::vector<DatabaseRecord> (*select)(const FileDatabase&);
  Keys16 expected;
};

void PrintTo(const SelectCase& c, std::ostream* os) { *os << c.name; }

class Select : public ::testing::TestWithParam<SelectCase> {};

TEST_P(Select, ReturnsMatchingRecordsInKeyOrder) {
  DatabaseFixture f;
  auto db = f.loaded(kFolder);
  EXPECT_EQ(keysOf(GetParam().select(*db)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, Select,
    ::testing::Values(
        SelectCase{"EqualIgnoresCase",
                   [](const FileDatabase& db) { return db.selectEqual(1, u"anna", 0); },
                   {u"01", u"03"}},
        SelectCase{"EqualNonAscii",
                   [](const FileDatabase& db) { return db.selectEqual(1, u"\u00e9MILE", 0); },
                   {u"04"}},
        SelectCase{"EqualWithLimit",
                   [](const FileDatabase& db) { return db.selectEqual(1, u"ANNA", 1); },
                   {u"01"}},
        SelectCase{"NotEqual",
                   [](const FileDatabase& db) { return db.selectNotEqual(1, u"Anna", 0); },
                   {u"02", u"04", u"05"}},
        SelectCase{"NotEqualWithLimit",
                   [](const FileDatabase& db) { return db.selectNotEqual(1, u"Anna", 2); },
                   {u"02", u"04"}},
        SelectCase{"Containing",
                   [](const FileDatabase& db) { return db.selectContaining(1, u"NN", 0); },
                   {u"01", u"03", u"05"}},
        SelectCase{"ContainingEmptyMatchesAll",
                   [](const FileDatabase& db) { return db.selectContaining(1, u"", 0); },
                   {u"01", u"02", u"03", u"04", u"05"}},
        SelectCase{"ContainingNonAscii",
                   [](const FileDatabase& db) { return db.selectContaining(1, u"\u00e9m", 0); },
                   {u"04"}},
        SelectCase{"NotContaining",
                   [](const FileDatabase& db) { return db.selectNotContaining(1, u"an", 0); },
                   {u"02", u"04"}},
        SelectCase{"MatchingAll",
                   [](const FileDatabase& db) {
                     return db.selectMatchingAll({1, 2}, {u"anna", u"7"}, 0);
                   },
                   {u"03"}},
        SelectCase{"MatchingAllMismatchedLists",
                   [](const FileDatabase& db) {
                     return db.selectMatchingAll({1, 2}, {u"anna"}, 0);
                   },
                   {}},
        SelectCase{"GreaterThan",
                   [](const FileDatabase& db) {
                     return db.selectByNumber(2, 0, GenericDatabase::kGreaterThan, 0);
                   },
                   {u"01", u"03", u"05"}},
        SelectCase{"LessThan",
                   [](const FileDatabase& db) {
                     return db.selectByNumber(2, 7, GenericDatabase::kLessThan, 0);
                   },
                   {u"02", u"04"}},
        SelectCase{"LessThanWithLimit",
                   [](const FileDatabase& db) {
                     return db.selectByNumber(2, 7, GenericDatabase::kLessThan, 1);
                   },
                   {u"02"}},
        SelectCase{"UnknownNumberMode",
                   [](const FileDatabase& db) { return db.selectByNumber(2, 7, 2, 0); },
                   {}},
        // A column past the record's fields ends the search at once.
        SelectCase{"EqualPastLastColumn",
                   [](const FileDatabase& db) { return db.selectEqual(3, u"", 0); },
                   {}},
        SelectCase{"NotEqualPastLastColumn",
                   [](const FileDatabase& db) { return db.selectNotEqual(9, u"x", 0); },
                   {}},
        SelectCase{"ContainingPastLastColumn",
                   [](const FileDatabase& db) { return db.selectContaining(3, u"", 0); },
                   {}},
        SelectCase{"NumberPastLastColumn",
                   [](const FileDatabase& db) {
                     return db.selectByNumber(3, -100, GenericDatabase::kGreaterThan, 0);
                   },
                   {}},
        SelectCase{"MatchingAllPastLastColumn",
                   [](const FileDatabase& db) {
                     return db.selectMatchingAll({1, 3}, {u"anna", u""}, 0);
                   },
                   {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct FindCase {
  const char* name;
  bool (*find)(const FileDatabase&, DatabaseRecord&);
  const char16_t* expectedKey;  // null: nothing found
};

void PrintTo(const FindCase& c, std::ostream* os) { *os << c.name; }

class Find : public ::testing::TestWithParam<FindCase> {};

TEST_P(Find, ReturnsTheFirstMatchInKeyOrder) {
  DatabaseFixture f;
  auto db = f.loaded(kFolder);
  DatabaseRecord got;
  const bool found = GetParam().find(*db, got);
  if (GetParam().expectedKey == nullptr) {
    EXPECT_FALSE(found);
  } else {
    ASSERT_TRUE(found);
    EXPECT_EQ(got[0], GetParam().expectedKey);
    EXPECT_EQ(got.size(), 3u);
  }
}

INSTANTIATE_TEST_SUITE_P(Operations, Find,
                         ::testing::Values(FindCase{"First",
                                                    [](const FileDatabase& db, DatabaseRecord& r) {
                                                      return db.findFirst(1, u"ANNA", r);
                                                    },
                                                    u"01"},
                                           FindCase{"FirstEqual",
                                                    [](const FileDatabase& db, DatabaseRecord& r) {
                                                      return db.findFirstEqual(1, u"BOB", r);
                                                    },
                                                    u"02"},
                                           FindCase{"FirstEqualNone",
                                                    [](const FileDatabase& db, DatabaseRecord& r) {
                                                      return db.findFirstEqual(1, u"carl", r);
                                                    },
                                                    nullptr},
                                           FindCase{"FirstNotEqual",
                                                    [](const FileDatabase& db, DatabaseRecord& r) {
                                                      return db.findFirstNotEqual(1, u"anna", r);
                                                    },
                                                    u"02"},
                                           FindCase{"FirstContaining",
                                                    [](const FileDatabase& db, DatabaseRecord& r) {
                                                      return db.findFirstContaining(1, u"AH", r);
                                                    },
                                                    u"05"},
                                           FindCase{"FirstNotContaining",
                                                    [](const FileDatabase& db, DatabaseRecord& r) {
                                                      return db.findFirstNotContaining(1, u"n", r);
                                                    },
                                                    u"02"},
                                           FindCase{"FirstPastLastColumn",
                                                    [](const FileDatabase& db, DatabaseRecord& r) {
                                                      return db.findFirst(3, u"", r);
                                                    },
                                                    nullptr},
                                           FindCase{"NotContainingPastLastColumn",
                                                    [](const FileDatabase& db, DatabaseRecord& r) {
                                                      return db.findFirstNotContaining(7, u"z", r);
                                                    },
                                                    nullptr},
                                           FindCase{"MaximumNumeric",
                                                    [](const FileDatabase& db, DatabaseRecord& r) {
                                                      return db.findMaximum(2, true, r);
                                                    },
                                                    u"05"},
                                           FindCase{"MaximumText",
                                                    [](const FileDatabase& db, DatabaseRecord& r) {
                                                      return db.findMaximum(2, false, r);
                                                    },
                                                    u"04"},
                                           FindCase{"MaximumTextNonAscii",
                                                    [](const FileDatabase& db, DatabaseRecord& r) {
                                                      return db.findMaximum(1, false, r);
                                                    },
                                                    u"04"},
                                           FindCase{"MaximumPastLastColumn",
                                                    [](const FileDatabase& db, DatabaseRecord& r) {
                                                      return db.findMaximum(5, true, r);
                                                    },
                                                    nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FileDatabaseSearch, MaximumNumericIsNotTextOrder) {
  DatabaseFixture f;
  auto db = f.loaded("01\ta\t9\r\n02\ta\t10\r\n03\ta\t10\r\n");
  DatabaseRecord got;
  ASSERT_TRUE(db->findMaximum(2, true, got));
  EXPECT_EQ(got[0], u"02");  // the first of equal values wins
  ASSERT_TRUE(db->findMaximum(2, false, got));
  EXPECT_EQ(got[0], u"01");  // "9" > "10" as text
}

TEST(FileDatabaseSearch, EmptyDatabaseFindsNothing) {
  DatabaseFixture f;
  auto db = f.make();
  DatabaseRecord got;
  EXPECT_FALSE(db->findMaximum(0, true, got));
  EXPECT_FALSE(db->findFirstNotEqual(1, u"x", got));
  EXPECT_TRUE(db->selectContaining(1, u"", 0).empty());
}

}  // namespace
}  // namespace parlane::test
