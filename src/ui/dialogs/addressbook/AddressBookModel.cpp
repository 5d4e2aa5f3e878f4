#include "ui/dialogs/addressbook/AddressBookModel.h"

#include <algorithm>

#include "storage/FileDatabase.h"

namespace parlane {

namespace {

int columnOf(const FileDatabase& book, std::u16string_view name, int fallback) {
  const auto& columns = book.columns();
  const auto found = std::find(columns.begin(), columns.end(), name);
  return found == columns.end() ? fallback : static_cast<int>(found - columns.begin());
}

}  // namespace

AddressBookModel::AddressBookModel(const FileDatabase& book, QObject* parent)
    : QAbstractTableModel(parent),
      book_(book),
      nameColumn_(columnOf(book, u"name", 0)),
      numberColumn_(columnOf(book, u"number", 1)),
      groupColumn_(columnOf(book, u"group", 2)) {
  reload({});
}

void AddressBookModel::reload(const std::u16string& group) {
  beginResetModel();
  // Every field contains the empty text: this lists the whole book in key order.
  records_ = group.empty() ? book_.selectContaining(static_cast<unsigned>(nameColumn_), u"", 0)
                           : book_.selectEqual(static_cast<unsigned>(groupColumn_), group, 0);
  endResetModel();
}

std::u16string AddressBookModel::field(const DatabaseRecord& record, int column) const {
  return column >= 0 && static_cast<std::size_t>(column) < record.size()
             ? record[static_cast<std::size_t>(column)]
             : std::u16string();
}

std::u16string AddressBookModel::numberAt(int row) const {
  if (row < 0 || static_cast<std::size_t>(row) >= records_.size()) return {};
  return field(records_[static_cast<std::size_t>(row)], numberColumn_);
}

int AddressBookModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(records_.size());
}

int AddressBookModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 3;
}

QVariant AddressBookModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || role != Qt::DisplayRole) return {};
  const DatabaseRecord& record = records_.at(static_cast<std::size_t>(index.row()));
  const int columns[] = {nameColumn_, numberColumn_, groupColumn_};
  return QString::fromStdU16String(field(record, columns[index.column()]));
}

QVariant AddressBookModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case 0:
      return tr("Name");
    case 1:
      return tr("Number");
    default:
      return tr("Group");
  }
}

}  // namespace parlane
