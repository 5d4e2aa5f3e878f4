#pragma once

#include <QAbstractTableModel>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "storage/DatabaseRecord.h"
#include "ui/dialogs/control/FolderColumns.h"

namespace parlane {

class FileDatabase;

// A folder as a table for a list view. The model holds only the keys of the folder, in key
// order; a record is read from the database (under its lock) when a row is drawn, and a few
// hundred recently drawn records are kept. So a folder of any size opens at once, and the
// service threads may change it meanwhile: refresh() takes the keys again and tells the view
// which rows went and came, so that selection and scroll position stay where they were.
class FolderModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  FolderModel(FileDatabase& database, StoreKind folder, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

  // The record key of a row, or empty past the end.
  std::u16string keyAt(int row) const;
  // The row of a key, or -1.
  int rowOf(const std::u16string& key) const;
  // Looks at the folder again when it changed since the last look; true when it had.
  bool refresh();

  FileDatabase& database() const { return database_; }
  StoreKind folder() const { return folder_; }
  const std::vector<FolderColumn>& columns() const { return columns_; }

 private:
  // The record of a row: from the cache, or read now. Null when it went away meanwhile (a
  // refresh is then on its way).
  const DatabaseRecord* recordAt(int row) const;
  void applyKeys(std::vector<std::u16string> keys);
  void scheduleRefresh() const;

  FileDatabase& database_;
  StoreKind folder_;
  std::vector<FolderColumn> columns_;
  std::vector<std::u16string> keys_;
  std::uint64_t revision_ = 0;
  mutable std::unordered_map<std::u16string, DatabaseRecord> cache_;
  mutable bool refreshQueued_ = false;
};

}  // namespace parlane
