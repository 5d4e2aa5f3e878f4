#include "ui/dialogs/control/FailedControlDlg.h"

namespace parlane {

FailedControlDlg::FailedControlDlg(ControlParts& parts, QWidget* parent)
    : FolderControlDlg(parts, StoreKind::Failed, {Open, Delete, Flush, Export}, parent) {}

}  // namespace parlane
