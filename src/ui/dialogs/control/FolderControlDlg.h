#pragma once

#include <QTimer>
#include <string>
#include <vector>

#include "ui/dialogs/control/ControlPage.h"

class QPushButton;
class QTableView;

namespace parlane {

class FileDatabase;
class FolderModel;

// A folder page: the folder's records in a list (read lazily from the folder) with the buttons
// below it. The list follows the folder while the service threads change it: it looks again when
// the main window passes on a notice, and once a second while it is shown.
class FolderControlDlg : public ControlPage {
  Q_OBJECT
 public:
  enum Button { Open, Reply, Handle, Resend, Delete, Flush, Export };

  FolderControlDlg(ControlParts& parts, StoreKind folder, std::vector<Button> buttons,
                   QWidget* parent = nullptr);

  void refresh() override;

  StoreKind folder() const { return folder_; }
  FolderModel& model() const { return *model_; }
  QTableView& view() const { return *view_; }
  // The button, or null when the page has none such.
  QPushButton* button(Button which) const;
  // Selects the rows of these keys (tests, and keeping a choice after a change).
  void selectKeys(const std::vector<std::u16string>& keys);

  // The buttons' actions on the selected records.
  void openSelected();
  void replySelected();
  void handleSelected();
  void resendSelected();
  void deleteSelected();
  void flush();
  void exportFolder();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  std::vector<std::u16string> selectedKeys() const;
  // The first selected record; tells the user when it is gone.
  bool firstSelected(DatabaseRecord& record);
  void saveFolder();
  void updateButtons();

  StoreKind folder_;
  FileDatabase& database_;
  FolderModel* model_ = nullptr;
  QTableView* view_ = nullptr;
  std::vector<std::pair<Button, QPushButton*>> buttons_;
  QTimer watch_;
};

}  // namespace parlane
