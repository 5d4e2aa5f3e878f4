#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QComboBox;
class QPushButton;
class QTableView;

namespace parlane {

class AddressBookModel;
class DialogHost;
class FileDatabase;
class SettingsStore;

// Picks one or several numbers from the address book, all of them or one group's.
class AddressBookDlg : public QDialog {
  Q_OBJECT
 public:
  AddressBookDlg(FileDatabase& book, const SettingsStore& settings, DialogHost& host,
                 QWidget* parent = nullptr);

  // The numbers of the chosen contacts, in list order, without empty ones and repeats.
  std::vector<std::u16string> selectedNumbers() const;

  QComboBox* groupList() const { return groups_; }
  QTableView* contactList() const { return view_; }
  QPushButton* okButton() const { return ok_; }

 private:
  void groupChosen();

  AddressBookModel* model_ = nullptr;
  QComboBox* groups_ = nullptr;
  QTableView* view_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace parlane
