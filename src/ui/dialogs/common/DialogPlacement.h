#pragma once

#include <QPoint>

class QWidget;

namespace parlane {

// Opens a dialog at the mouse pointer plus `offset`; (0, 0) leaves it where the system puts it,
// and a place that is not positive in both coordinates centres it on its screen instead.
void placeNearPointer(QWidget& dialog, QPoint offset);

}  // namespace parlane
