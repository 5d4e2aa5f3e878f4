#include "storage/FolderSchema.h"

#include <algorithm>

#include "storage/RegisterColumns.h"

namespace parlane {

std::u16string storeName(StoreKind kind) {
  switch (kind) {
    case StoreKind::Inbox:
      return u"inbox";
    case StoreKind::Outbox:
      return u"outbox";
    case StoreKind::Sent:
      return u"sent";
    case StoreKind::Failed:
      return u"failed";
    case StoreKind::AddressBook:
      return u"addrbook";
  }
  return {};
}

const std::vector<std::u16string>& storeColumns(StoreKind kind) {
  static const std::vector<std::u16string> inbox = {
      u"id",      u"timestamp", u"from",     u"type",     u"content",    u"url",
      u"handled", u"flags",     u"reserved", u"uniqueid", u"destination"};
  static const std::vector<std::u16string> outbox = {
      u"id",       u"timestamp", u"to",        u"type",     u"segments", u"content",
      u"url",      u"dstton",    u"flags",     u"uniqueid", u"attempts", u"source",
      u"validity", u"custom",    u"notbefore", u"expires"};
  static const std::vector<std::u16string> sent = {
      u"id",     u"timestamp", u"to",       u"type",  u"segments", u"content",  u"url",
      u"dstton", u"flags",     u"uniqueid", u"refid", u"source",   u"validity", u"custom"};
  static const std::vector<std::u16string> failed = {
      u"id",     u"timestamp", u"to",       u"type",   u"segments", u"content", u"url",
      u"dstton", u"flags",     u"uniqueid", u"source", u"validity", u"custom"};
  static const std::vector<std::u16string> addressBook = {u"name", u"number", u"group", u"custom"};
  switch (kind) {
    case StoreKind::Inbox:
      return inbox;
    case StoreKind::Outbox:
      return outbox;
    case StoreKind::Sent:
      return sent;
    case StoreKind::Failed:
      return failed;
    case StoreKind::AddressBook:
      break;
  }
  return addressBook;
}

int columnIndex(StoreKind kind, std::u16string_view column) {
  const auto& columns = storeColumns(kind);
  const auto found = std::find(columns.begin(), columns.end(), column);
  return found == columns.end() ? -1 : static_cast<int>(found - columns.begin());
}

void declareStoreSchemas(SettingsStore& settings) {
  for (StoreKind kind : kAllStores) registerColumns(settings, storeName(kind), storeColumns(kind));
}

}  // namespace parlane
