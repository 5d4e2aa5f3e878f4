#include "ui/dialogs/common/DialogPlacement.h"

#include <QCursor>
#include <QScreen>
#include <QWidget>

namespace parlane {

void placeNearPointer(QWidget& dialog, QPoint offset) {
  if (offset.isNull()) return;
  const QPoint place = QCursor::pos() + offset;
  if (place.x() > 0 && place.y() > 0) {
    dialog.move(place);
    return;
  }
  if (const QScreen* screen = dialog.screen()) {
    QRect frame = dialog.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    dialog.move(frame.topLeft());
  }
}

}  // namespace parlane
