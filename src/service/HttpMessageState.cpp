#include "service/HttpMessageState.h"

#include <algorithm>
#include <charconv>

#include "core/util/ScheduleTime.h"
#include "core/util/Utf.h"
#include "message/MessageFlags.h"
#include "service/ServiceMetrics.h"
#include "storage/FileDatabase.h"
#include "storage/FolderSchema.h"
#include "storage/MessageStores.h"

namespace parlane {

namespace {

// The index of `name` among the folder's columns; the column count when there is none.
unsigned columnOf(StoreKind kind, std::u16string_view name) {
  const std::vector<std::u16string>& columns = storeColumns(kind);
  return static_cast<unsigned>(std::find(columns.begin(), columns.end(), name) - columns.begin());
}

std::u16string fieldOf(const DatabaseRecord& record, StoreKind kind, std::u16string_view name) {
  const unsigned column = columnOf(kind, name);
  return column < record.size() ? record[column] : std::u16string();
}

int flagsOf(const DatabaseRecord& record, StoreKind kind) {
  const std::string text = toUtf8(fieldOf(record, kind, u"flags"));
  int flags = 0;
  std::from_chars(text.data(), text.data() + text.size(), flags);
  return flags;
}

}  // namespace

std::optional<MessageState> findMessageState(MessageStores& stores, const std::string& id,
                                             const MessageOutcomes* outcomes, std::int64_t now) {
  const std::u16string key = fromUtf8(id);
  // Sent and failed first: a message just filed there may still wait for its removal from the
  // outbox.
  for (StoreKind kind : {StoreKind::Sent, StoreKind::Failed, StoreKind::Outbox}) {
    if (!stores.isOpen(kind)) continue;
    DatabaseRecord record;
    if (!stores.store(kind).findFirst(columnOf(kind, u"custom"), key, record)) continue;
    MessageState state;
    state.folder = toUtf8(storeName(kind));
    state.to = toUtf8(fieldOf(record, kind, u"to"));
    if (kind == StoreKind::Outbox) {
      state.state = "queued";
      const std::string notBefore = toUtf8(fieldOf(record, kind, u"notbefore"));
      std::int64_t due = 0;
      std::from_chars(notBefore.data(), notBefore.data() + notBefore.size(), due);
      if (due > now) {
        state.state = "scheduled";
        state.sendAfter = formatScheduleTime(due);
      }
    } else if (kind == StoreKind::Failed) {
      state.state = "failed";
      state.reason = "not sent after the last attempt";
    } else {
      const int flags = flagsOf(record, kind);
      state.reference = toUtf8(fieldOf(record, kind, u"refid"));
      state.state = (flags & messageFlags::kDelivered) != 0      ? "delivered"
                    : (flags & messageFlags::kNotDelivered) != 0 ? "not delivered"
                                                                 : "sent";
    }
    if (outcomes != nullptr && kind != StoreKind::Outbox) {
      if (const auto known = outcomes->find(id)) {
        if (kind == StoreKind::Failed && !known->reason.empty()) state.reason = known->reason;
        if (kind == StoreKind::Failed || state.state != "sent") state.time = known->time;
      }
    }
    return state;
  }
  return std::nullopt;
}

}  // namespace parlane
