// parseScheduleTime on arbitrary text: a time or a reason, never a crash.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/util/ScheduleTime.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const parlane::ScheduleTimeParse parse = parlane::parseScheduleTime(text, 1'700'000'000);
  if (parse.seconds) (void)parlane::formatScheduleTime(*parse.seconds);
  return 0;
}
