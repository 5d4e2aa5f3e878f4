#include "storage/MessageRecords.h"

#include <algorithm>
#include <cstdint>

#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"
#include "message/PushMessage.h"
#include "message/SMSMessage.h"
#include "message/USSDRequest.h"
#include "storage/ContentEscaping.h"

namespace parlane {

namespace {

std::u16string decimal(std::int64_t value) { return fromAscii(std::to_string(value)); }

class RecordBuilder {
 public:
  explicit RecordBuilder(StoreKind kind) : kind_(kind), record_(storeColumns(kind).size()) {}

  void set(std::u16string_view column, std::u16string value) {
    const int index = columnIndex(kind_, column);
    if (index >= 0) record_[static_cast<size_t>(index)] = std::move(value);
  }

  DatabaseRecord take() { return std::move(record_); }

 private:
  StoreKind kind_;
  DatabaseRecord record_;
};

class RecordReader {
 public:
  RecordReader(const DatabaseRecord& record, StoreKind kind) : record_(record), kind_(kind) {}

  bool has(std::u16string_view column) const {
    const int index = columnIndex(kind_, column);
    return index >= 0 && static_cast<size_t>(index) < record_.size();
  }
  std::u16string text(std::u16string_view column) const {
    return has(column) ? record_[static_cast<size_t>(columnIndex(kind_, column))]
                       : std::u16string();
  }
  int number(std::u16string_view column) const { return SettingsStore::parseInt(text(column)); }

 private:
  const DatabaseRecord& record_;
  StoreKind kind_;
};

}  // namespace

DatabaseRecord outgoingRecord(const GenericMessage& message, StoreKind folder,
                              const std::u16string& id) {
  RecordBuilder record(folder);
  record.set(u"id", id);
  record.set(u"timestamp", decimal(message.timestamp));
  record.set(u"to", flattenField(message.to));
  record.set(u"type", message.getTypeName());
  record.set(u"segments", decimal(message.segments));
  record.set(u"content", escapeContent(message.content));
  record.set(u"url", flattenField(message.getUrl()));
  record.set(u"dstton", decimal(message.dstton));
  record.set(u"flags", decimal(message.flags));
  record.set(u"uniqueid", decimal(message.uniqueid));
  record.set(u"attempts", decimal(message.attempts));
  record.set(u"refid", decimal(message.refid));
  record.set(u"source", flattenField(message.source));
  record.set(u"validity", decimal(static_cast<std::int64_t>(message.expiry) - message.timestamp));
  record.set(u"custom", flattenField(message.custom));
  record.set(u"notbefore", message.notBefore > 0 ? decimal(message.notBefore) : u"");
  record.set(u"expires", message.expires > 0 ? decimal(message.expires) : u"");
  return record.take();
}

DatabaseRecord incomingRecord(const GenericMessage& message, bool handled,
                              const std::u16string& id) {
  RecordBuilder record(StoreKind::Inbox);
  record.set(u"id", id);
  record.set(u"timestamp", decimal(message.timestamp));
  record.set(u"from", flattenField(message.source));
  record.set(u"type", message.getTypeName());
  record.set(u"content", escapeContent(message.content));
  record.set(u"url", flattenField(message.getUrl()));
  record.set(u"handled", handled ? u"1" : u"0");
  record.set(u"flags", decimal(message.flags));
  // The message object carries no number of its own for this column.
  record.set(u"reserved", u"0");
  record.set(u"uniqueid", decimal(message.uniqueid));
  return record.take();
}

std::unique_ptr<GenericMessage> messageFromRecord(const DatabaseRecord& record, StoreKind folder,
                                                  const Clock& clock) {
  const RecordReader read(record, folder);
  const std::u16string type = read.text(u"type");
  const std::u16string source = read.text(u"source");
  const std::u16string to = read.text(u"to");
  const std::u16string content = unescapeContent(read.text(u"content"));
  const std::int32_t id = read.number(u"uniqueid");
  std::unique_ptr<GenericMessage> message;
  switch (messageKindFromName(type).value_or(MessageKind::AtCommand)) {
    case MessageKind::Sms:
      message = std::make_unique<SMSMessage>(source, to, content, id, clock);
      break;
    case MessageKind::Push:
      message = std::make_unique<PushMessage>(source, to, content, read.text(u"url"), id, clock);
      break;
    case MessageKind::Ussd:
      message = std::make_unique<USSDRequest>(source, to, content, id, clock);
      break;
    default:
      // Commands and status reports are never filed in an outgoing folder.
      return nullptr;
  }
  message->dstton = read.number(u"dstton");
  message->flags = read.number(u"flags");
  message->attempts = read.number(u"attempts");
  const int validity = read.number(u"validity");
  if (validity > 0) {
    message->expiry =
        static_cast<MessageTime>(static_cast<std::int64_t>(message->created) + validity);
  }
  if (read.has(u"custom")) message->custom = read.text(u"custom");
  // Empty in records written before these columns were kept: no times.
  message->notBefore = std::max(0, read.number(u"notbefore"));
  message->expires = std::max(0, read.number(u"expires"));
  return message;
}

}  // namespace parlane
