#include "service/HttpInboxPage.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "core/util/HexDigit.h"
#include "core/util/ScheduleTime.h"
#include "core/util/Utf.h"
#include "service/MessageEvent.h"
#include "storage/ContentEscaping.h"
#include "storage/FileDatabase.h"
#include "storage/FolderSchema.h"

namespace parlane {

namespace {

std::string field(const DatabaseRecord& record, std::u16string_view name) {
  const auto column = static_cast<std::size_t>(columnIndex(StoreKind::Inbox, name));
  return column < record.size() ? toUtf8(record[column]) : std::string();
}

}  // namespace

InboxPaging readInboxPaging(const std::optional<std::string>& since,
                            const std::optional<std::string>& limit) {
  InboxPaging paging;
  if (since && !since->empty()) {
    if (since->size() > 8 || !std::all_of(since->begin(), since->end(), [](char c) {
          return hexDigitValue(static_cast<unsigned char>(c)) >= 0;
        })) {
      paging.error = "since: a message id (up to eight hexadecimal digits) expected";
      return paging;
    }
    // Keys are eight lowercase digits: "1f" is "0000001f".
    paging.since = std::string(8 - since->size(), '0');
    for (char c : *since) paging.since += static_cast<char>(std::tolower(c));
  }
  if (limit) {
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(limit->data(), limit->data() + limit->size(), value);
    if (limit->empty() || error != std::errc() || end != limit->data() + limit->size() ||
        value < 1 || value > InboxPaging::kMaxLimit) {
      paging.error =
          "limit: a number from 1 to " + std::to_string(InboxPaging::kMaxLimit) + " expected";
      return paging;
    }
    paging.limit = value;
  }
  return paging;
}

nlohmann::json inboxPage(const FileDatabase& inbox, const InboxPaging& paging) {
  // One more than asked tells whether more follow.
  const std::vector<DatabaseRecord> records = inbox.after(fromUtf8(paging.since), paging.limit + 1);
  nlohmann::json messages = nlohmann::json::array();
  std::string next = paging.since;
  for (std::size_t i = 0; i < records.size() && i < paging.limit; ++i) {
    const DatabaseRecord& record = records[i];
    long long time = 0;
    const std::string stamp = field(record, u"timestamp");
    std::from_chars(stamp.data(), stamp.data() + stamp.size(), time);
    nlohmann::json message{{"id", field(record, u"id")},
                           {"from", field(record, u"from")},
                           {"time", formatScheduleTime(time)},
                           {"type", field(record, u"type")},
                           {"text", toUtf8(unescapeContent(fromUtf8(field(record, u"content"))))}};
    if (const std::string url = field(record, u"url"); !url.empty()) message["url"] = url;
    next = field(record, u"id");
    messages.push_back(std::move(message));
  }
  return nlohmann::json{
      {"messages", messages}, {"next", next}, {"more", records.size() > paging.limit}};
}

}  // namespace parlane
