#include "core/util/ErrorText.h"

#include <cstring>
#include <string_view>

#include "core/util/Utf.h"

namespace parlane {

namespace {

// strerror_r comes in two flavours: GNU returns the text, XSI fills the buffer and returns 0.
[[maybe_unused]] const char* pickMessage(const char* gnuResult, const char*) { return gnuResult; }
[[maybe_unused]] const char* pickMessage(int xsiResult, const char* buffer) {
  return xsiResult == 0 ? buffer : nullptr;
}

}  // namespace

std::u16string errorText(int errnum) {
  char buffer[256] = {};
  const char* message = pickMessage(::strerror_r(errnum, buffer, sizeof buffer), buffer);
  constexpr std::string_view kUnknown = "Unknown error";
  // glibc names codes it doesn't know "Unknown error N"; the number adds nothing for the user.
  if (message == nullptr || *message == '\0' || std::string_view(message).starts_with(kUnknown)) {
    return fromAscii(kUnknown);
  }
  return fromUtf8(message);
}

}  // namespace parlane
