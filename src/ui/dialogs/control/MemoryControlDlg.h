#pragma once

#include <QTimer>
#include <memory>
#include <vector>

#include "ui/dialogs/control/ControlPage.h"

class QComboBox;
class QPushButton;
class QTreeWidget;

namespace parlane {

class GenericMessage;

// The "Memory" page: the messages kept in the modem memory, listed on "Refresh". A listing
// brings its messages in over a while; the page collects them while it is shown.
class MemoryControlDlg : public ControlPage {
  Q_OBJECT
 public:
  explicit MemoryControlDlg(ControlParts& parts, QWidget* parent = nullptr);
  ~MemoryControlDlg() override;

  void load() override;
  void refresh() override;

  // "Refresh": lists the memory named by "Memory type:".
  void readMemory();
  // Takes the messages found so far into the list.
  void collect();

  QTreeWidget& list() const { return *list_; }
  QComboBox& memoryType() const { return *memoryType_; }
  // The column that marks unread messages.
  static constexpr int kUnreadColumn = 3;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  const GenericMessage* selected() const;
  void openSelected();
  void replySelected();
  void deleteSelected();
  void flush();
  // "Open", "Reply" and "Delete" act on the selected rows: enabled only while there are some.
  void updateButtons();

  QComboBox* memoryType_ = nullptr;
  QTreeWidget* list_ = nullptr;
  QPushButton* open_ = nullptr;
  QPushButton* reply_ = nullptr;
  QPushButton* delete_ = nullptr;
  std::vector<std::unique_ptr<GenericMessage>> messages_;
  QTimer collector_;
};

}  // namespace parlane
