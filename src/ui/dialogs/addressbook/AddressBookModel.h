#pragma once

#include <QAbstractTableModel>
#include <string>
#include <vector>

#include "storage/DatabaseRecord.h"

namespace parlane {

class FileDatabase;

// The address book's contacts (name, number, group) as a table, optionally only one group's.
class AddressBookModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit AddressBookModel(const FileDatabase& book, QObject* parent = nullptr);

  // Reads the records again; an empty group shows every contact.
  void reload(const std::u16string& group);
  std::u16string numberAt(int row) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::u16string field(const DatabaseRecord& record, int column) const;

  const FileDatabase& book_;
  int nameColumn_ = 0;
  int numberColumn_ = 1;
  int groupColumn_ = 2;
  std::vector<DatabaseRecord> records_;
};

}  // namespace parlane
