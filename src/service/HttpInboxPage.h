#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace parlane {

class FileDatabase;

// GET /api/v1/inbox?since=<id>&limit=<n>: the received messages after `since` in id order.
// Ids only grow, so a client that passes back "next" sees each message once, whatever arrives
// or is removed between its calls.
struct InboxPaging {
  static constexpr std::size_t kDefaultLimit = 50;
  static constexpr std::size_t kMaxLimit = 500;

  std::string since;  // eight lowercase hexadecimal digits; empty: from the first
  std::size_t limit = kDefaultLimit;
  std::string error;  // not empty: the query is refused with it
};

// The paging asked for; `since` and `limit` as the query gives them (absent: the defaults).
InboxPaging readInboxPaging(const std::optional<std::string>& since,
                            const std::optional<std::string>& limit);

// {"messages": [{"id", "from", "time", "type", "text", "url"}...], "next": id, "more": bool};
// "next" is the last id given (or `since` when none was), to pass as the next call's since.
nlohmann::json inboxPage(const FileDatabase& inbox, const InboxPaging& paging);

}  // namespace parlane
