#include <gtest/gtest.h>

#include <cerrno>

#include "core/util/ErrorText.h"

namespace parlane {
namespace {

TEST(ErrorText, SystemTextOrUnknownError) {
  const struct {
    int errnum;
    const char16_t* expected;
  } cases[] = {
      {ENOENT, u"No such file or directory"},
      {EACCES, u"Permission denied"},
      {EBUSY, u"Device or resource busy"},
      // Codes the system has no text for.
      {-1, u"Unknown error"},
      {99999, u"Unknown error"},
  };
  for (const auto& c : cases) EXPECT_EQ(errorText(c.errnum), c.expected) << c.errnum;
}

}  // namespace
}  // namespace parlane
