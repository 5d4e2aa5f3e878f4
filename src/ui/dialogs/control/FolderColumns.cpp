#include "ui/dialogs/control/FolderColumns.h"

#include "core/settings/SettingsStore.h"
#include "core/util/StringTable.h"
#include "core/util/TimeFormat.h"
#include "message/MessageFlags.h"
#include "storage/ContentEscaping.h"

namespace parlane {

namespace {

FolderColumn column(StoreKind folder, int title, std::u16string_view field,
                    FolderColumn::Form form) {
  return FolderColumn{QString::fromStdU16String(loadString(title)), columnIndex(folder, field),
                      form};
}

}  // namespace

std::vector<FolderColumn> folderColumns(StoreKind folder) {
  using Form = FolderColumn::Form;
  std::vector<FolderColumn> columns{column(folder, 40073, u"timestamp", Form::Time)};
  if (folder == StoreKind::Inbox) {
    columns.push_back(column(folder, 40074, u"from", Form::Text));
    columns.push_back(column(folder, 40075, u"content", Form::Content));
    columns.push_back(column(folder, 40076, u"handled", Form::YesNo));
    return columns;
  }
  columns.push_back(column(folder, 40081, u"to", Form::Text));
  columns.push_back(column(folder, 40075, u"content", Form::Content));
  columns.push_back(column(folder, 40082, u"url", Form::Text));
  if (folder == StoreKind::Sent)
    columns.push_back(column(folder, 40297, u"flags", Form::Delivered));
  return columns;
}

QString folderCellText(const FolderColumn& column, const std::u16string& field) {
  switch (column.form) {
    case FolderColumn::Form::Time:
      if (field.empty()) return {};
      return QString::fromStdU16String(
          formatDisplayTime(static_cast<std::time_t>(SettingsStore::parseInt(field))));
    case FolderColumn::Form::Content: {
      // One line in a list: line breaks and tabs show as blanks.
      QString text = QString::fromStdU16String(unescapeContent(field));
      for (QChar& c : text) {
        if (c == u'\r' || c == u'\n' || c == u'\t') c = u' ';
      }
      return text;
    }
    case FolderColumn::Form::YesNo:
      return field == u"1" ? QStringLiteral("yes") : QStringLiteral("no");
    case FolderColumn::Form::Delivered:
      return (SettingsStore::parseInt(field) & messageFlags::kDelivered) != 0
                 ? QStringLiteral("yes")
                 : QStringLiteral("no");
    case FolderColumn::Form::Text:
      break;
  }
  return QString::fromStdU16String(field);
}

}  // namespace parlane
