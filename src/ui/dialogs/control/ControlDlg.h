#pragma once

#include <QDialog>
#include <vector>

#include "ui/dialogs/control/ControlParts.h"

class QDialogButtonBox;
class QPushButton;
class QTabWidget;

namespace parlane {

class AppControlDlg;
class CommonControlDlg;
class ControlPage;
class FolderControlDlg;
class MemoryControlDlg;
class PropertiesControlDlg;

// The control panel: the settings pages and the folders, in tabs, with "OK", "Cancel" and
// "Apply". Modeless; the main window keeps one and brings it back on a second request.
//
// "OK" and "Apply" write every settings page the user changed ("OK" always writes the
// "Application" page), save the configuration, and when a setting that only a new connection
// takes up changed while the modem is connected, offer to reconnect. "Cancel" writes nothing.
class ControlDlg : public QDialog {
  Q_OBJECT
 public:
  // Pages in tab order; the help page is last.
  enum Page { Sms, Application, Properties, Memory, Inbox, Outbox, Sent, Failed, Help };

  explicit ControlDlg(ControlParts parts, QWidget* parent = nullptr);
  ~ControlDlg() override;

  // Shows the panel (or brings it to the front) on a page; -1 keeps the page shown.
  void present(int page = -1);
  void selectPage(int page);
  int currentPage() const;

  // The buttons' actions.
  void ok();
  void apply();
  void cancel();
  // Escape and the window's close button cancel.
  void reject() override;

  // A notice from the main window: the folders or the connection may have changed.
  void refreshPages();

  ControlPage* page(Page which) const;
  CommonControlDlg& smsPage() const;
  AppControlDlg& appPage() const;
  PropertiesControlDlg& propertiesPage() const;
  MemoryControlDlg& memoryPage() const;
  FolderControlDlg& folderPage(Page which) const;
  QPushButton* button(int standardButton) const;
  const ControlParts& parts() const { return parts_; }

 private:
  // Writes the changed pages and the configuration; offers the reconnection.
  void store(bool always);
  void loadUnchanged();

  ControlParts parts_;
  QTabWidget* tabs_ = nullptr;
  QDialogButtonBox* buttons_ = nullptr;
  std::vector<ControlPage*> pages_;
};

}  // namespace parlane
