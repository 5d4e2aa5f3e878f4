#pragma once

#include <QObject>
#include <QPointer>

#include "ui/dialogs/control/ControlParts.h"

namespace parlane {

class CMainFrame;
class ControlDlg;

// The main window's control panel: answers the "Control panel" command (32768) with the one
// panel, made on first use and brought back on later requests, and passes the window's notices
// on to it. The window's send path, its commands and its memory list serve the panel's hooks
// that were left empty, and the service thread its memory page.
class ControlPanel : public QObject {
  Q_OBJECT
 public:
  ControlPanel(CMainFrame& frame, ControlParts parts);
  ~ControlPanel() override;

  // Becomes the window's opener of command 32768.
  void install();
  // Shows the panel on a page (ControlDlg::Page; -1 keeps the page shown).
  void open(int page = -1);
  // The panel once opened, else null.
  ControlDlg* dialog() const;

 private:
  CMainFrame& frame_;
  ControlParts parts_;
  QPointer<ControlDlg> dialog_;
};

}  // namespace parlane
