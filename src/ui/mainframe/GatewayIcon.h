#pragma once

#include <QIcon>

namespace parlane {

// The program's icon, drawn in code so that no image plug-in is needed to show it.
QIcon gatewayIcon();

}  // namespace parlane
