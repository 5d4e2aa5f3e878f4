#include "ui/dialogs/control/IncomingControlDlg.h"

namespace parlane {

IncomingControlDlg::IncomingControlDlg(ControlParts& parts, QWidget* parent)
    : FolderControlDlg(parts, StoreKind::Inbox, {Open, Reply, Handle, Delete, Flush, Export},
                       parent) {}

}  // namespace parlane
