#pragma once

namespace parlane {

// The main window's command identifiers. Menus, buttons, start-up and the service threads all
// send these numbers.
namespace command {
inline constexpr int kControlPanel = 32768;
inline constexpr int kConnect = 32769;
inline constexpr int kSendSms = 32770;
inline constexpr int kViewLastSms = 32771;
inline constexpr int kExit = 32772;
inline constexpr int kDisconnect = 32773;
inline constexpr int kSendUssd = 32774;
inline constexpr int kMainWindow = 32775;
inline constexpr int kSendList = 40000;
// The port wizard (the control panel's "Connection wizard...").
inline constexpr int kPortWizard = 32776;
}  // namespace command

}  // namespace parlane
