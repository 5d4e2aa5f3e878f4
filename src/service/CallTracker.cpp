#include "service/CallTracker.h"

#include <vector>

#include "engine/ReplyFields.h"

namespace parlane {

void CallTracker::touch(std::int64_t nowMs) {
  if (!inCall_ || nowMs - lastMs_ >= kQuietMs) {
    inCall_ = true;
    announced_ = false;
    ringsWithoutCaller_ = 0;
  }
  lastMs_ = nowMs;
}

std::optional<std::u16string> CallTracker::ring(std::int64_t nowMs) {
  touch(nowMs);
  if (announced_) return std::nullopt;
  // The caller line follows its ring; a second ring without one says none will come.
  if (++ringsWithoutCaller_ < 2) return std::nullopt;
  announced_ = true;
  return std::u16string();
}

std::optional<std::u16string> CallTracker::caller(std::u16string number, std::int64_t nowMs) {
  touch(nowMs);
  if (announced_) return std::nullopt;
  announced_ = true;
  return number;
}

std::u16string callerNumber(std::u16string_view line) {
  const std::vector<std::u16string> fields = splitReplyFields(replyValue(line));
  std::u16string number = fields.empty() ? std::u16string() : fields[0];
  if (!number.empty() && number[0] != u'+' && fields.size() >= 2 && fields[1] == u"145") {
    number.insert(0, 1, u'+');
  }
  return number;
}

}  // namespace parlane
