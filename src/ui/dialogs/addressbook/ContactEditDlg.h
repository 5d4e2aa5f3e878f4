#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QComboBox;
class QTableWidget;

namespace parlane {

class DialogHost;
class FileDatabase;
class SettingsStore;

// Saves numbers as address book contacts: a name for each (the number itself unless one is
// typed) and a group for all of them. A new group name joins "groups.%d.name".
class ContactEditDlg : public QDialog {
  Q_OBJECT
 public:
  ContactEditDlg(FileDatabase& book, SettingsStore& settings,
                 const std::vector<std::u16string>& numbers, DialogHost& host,
                 QWidget* parent = nullptr);

  QTableWidget* contactTable() const { return table_; }
  QComboBox* groupBox() const { return group_; }

 public slots:
  void accept() override;

 private:
  FileDatabase& book_;
  SettingsStore& settings_;
  DialogHost& host_;
  QTableWidget* table_ = nullptr;
  QComboBox* group_ = nullptr;
};

}  // namespace parlane
