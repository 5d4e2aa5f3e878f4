#pragma once

#include "ui/dialogs/control/ControlHooks.h"

namespace parlane {

class CMainFrame;
class CServiceThread;

// The control panel's hooks that the main window and the service thread serve: the window's
// commands, its send path ("Resend") and its memory list, the service's memory page; message
// boxes over the active window for questions and notices, the file dialog of an export, and the
// help. What only start-up has (autostart, the log viewer, the wizard, the send and view
// dialogs, saving the configuration) it sets itself. Window thread.
ControlHooks windowControlHooks(CMainFrame& frame, CServiceThread& service);

}  // namespace parlane
