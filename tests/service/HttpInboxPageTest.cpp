// The inbox paging query of the JSON API, without a server.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "service/HttpInboxPage.h"

namespace parlane {
namespace {

struct PagingCase {
  std::string name;
  std::optional<std::string> since;
  std::optional<std::string> limit;
  std::string wantSince;
  std::size_t wantLimit;
  std::string error;  // empty: taken
};

void PrintTo(const PagingCase& c, std::ostream* os) { *os << c.name; }

class InboxPagingQuery : public testing::TestWithParam<PagingCase> {};

TEST_P(InboxPagingQuery, ReadsTheCursorAndTheLimit) {
  const InboxPaging paging = readInboxPaging(GetParam().since, GetParam().limit);
  EXPECT_EQ(paging.error, GetParam().error);
  if (!GetParam().error.empty()) return;
  EXPECT_EQ(paging.since, GetParam().wantSince);
  EXPECT_EQ(paging.limit, GetParam().wantLimit);
}

const std::string kSinceError = "since: a message id (up to eight hexadecimal digits) expected";
const std::string kLimitError = "limit: a number from 1 to 500 expected";

INSTANTIATE_TEST_SUITE_P(
    Cases, InboxPagingQuery,
    testing::Values(PagingCase{"Defaults", std::nullopt, std::nullopt, "", 50, ""},
                    PagingCase{"EmptySinceIsTheStart", "", "10", "", 10, ""},
                    PagingCase{"ShortIdIsPadded", "1F", std::nullopt, "0000001f", 50, ""},
                    PagingCase{"WholeId", "000000a0", "500", "000000a0", 500, ""},
                    PagingCase{"SinceNotHex", "12g", std::nullopt, "", 0, kSinceError},
                    PagingCase{"SinceTooLong", "123456789", std::nullopt, "", 0, kSinceError},
                    PagingCase{"LimitZero", std::nullopt, "0", "", 0, kLimitError},
                    PagingCase{"LimitOverMaximum", std::nullopt, "501", "", 0, kLimitError},
                    PagingCase{"LimitNotANumber", std::nullopt, "ten", "", 0, kLimitError},
                    PagingCase{"LimitNegative", std::nullopt, "-1", "", 0, kLimitError}),
    [](const testing::TestParamInfo<PagingCase>& info) { return info.param.name; });

}  // namespace
}  // namespace parlane
