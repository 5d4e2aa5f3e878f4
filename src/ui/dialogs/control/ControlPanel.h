#pragma once

#include <QObject>
#include <QPointer>

#include "ui/dialogs/control/ControlParts.h"

namespace parlane {

class CMainFrame;
class ControlDlg;

// The main window's control panel: answers the "Control panel" command (32768) with the one
// panel, made on first use and brought back on later requests, and passes the window's notices
// on to it. Its hooks come complete from start-up (windowControlHooks and start-up's own).
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
