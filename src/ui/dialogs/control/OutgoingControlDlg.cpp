#include "ui/dialogs/control/OutgoingControlDlg.h"

namespace parlane {

OutgoingControlDlg::OutgoingControlDlg(ControlParts& parts, QWidget* parent)
    : FolderControlDlg(parts, StoreKind::Outbox, {Open, Delete, Flush, Export}, parent) {}

}  // namespace parlane
