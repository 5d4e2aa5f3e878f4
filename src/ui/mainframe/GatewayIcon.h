#pragma once

#include <QIcon>

namespace parlane {

// The sizes the icon comes in (data/icons, installed under the hicolor theme as "parlane").
inline constexpr int kGatewayIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

// The program's icon for its windows and the tray: the same pictures as the installed icon.
QIcon gatewayIcon();

}  // namespace parlane
