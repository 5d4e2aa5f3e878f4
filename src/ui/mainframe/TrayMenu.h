#pragma once

#include "transport/ChannelStatus.h"

class QMenu;

namespace parlane {

// Fills `menu` (emptied first) with the tray's context menu: "Main window"; "Connect" while the
// channel is closed or failed, else "Disconnect"; "Send SMS"; "Send over a list"; "Send USSD";
// "Control panel"; a separator; "Exit". Without a port, "Connect" and "Send SMS" are grayed. Each
// action carries its command identifier as data.
void fillTrayMenu(QMenu& menu, ChannelStatus status, bool portSet);

}  // namespace parlane
