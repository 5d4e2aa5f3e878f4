#include "transport/ReceiveBuffer.h"

#include <algorithm>
#include <cstring>

#include "core/log/Logger.h"
#include "core/util/StringTable.h"
#include "transport/ReplyParser.h"

namespace parlane {

std::size_t ReceiveBuffer::parse(ReplyParser& parser, ReplySink& sink) {
  length_ = parser.parse(data_.get(), length_, sink);
  if (length_ < kMaxLength) return 0;
  const std::size_t dropped = length_;
  length_ = 0;
  parser.skipToLineEnd();
  Logger::log(2, formatString(
                     40009, {std::u16string(u"a reply line longer than 65535 bytes was dropped")}));
  return dropped;
}

void ReceiveBuffer::appendAndParse(std::string_view bytes, ReplyParser& parser, ReplySink& sink) {
  while (!bytes.empty()) {
    const std::size_t count = std::min(room(), bytes.size());
    std::memcpy(end(), bytes.data(), count);
    grow(count);
    bytes.remove_prefix(count);
    parse(parser, sink);
  }
}

}  // namespace parlane
