#include "ui/dialogs/control/SentControlDlg.h"

namespace parlane {

SentControlDlg::SentControlDlg(ControlParts& parts, QWidget* parent)
    : FolderControlDlg(parts, StoreKind::Sent, {Open, Resend, Delete, Flush, Export}, parent) {}

}  // namespace parlane
