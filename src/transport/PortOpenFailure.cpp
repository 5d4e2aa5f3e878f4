#include "transport/PortOpenFailure.h"

#include <cerrno>

#include "core/util/ErrorText.h"
#include "core/util/StringTable.h"

namespace parlane {

namespace {

constexpr std::u16string_view kAccessHint =
    u"\nYour user may not use this port: add it to the group that owns the port (dialout on "
    u"Debian: sudo usermod -aG dialout $USER), then log out and in again.";
constexpr std::u16string_view kBusyHint =
    u"\nAnother program holds the port, usually ModemManager or brltty. Stop it, or tell "
    u"ModemManager to leave the modem alone with the udev rule shown in the README "
    u"(ENV{ID_MM_DEVICE_IGNORE}=\"1\").";

}  // namespace

std::u16string portOpenFailureText(std::u16string_view portName, int errnum) {
  if (portName.empty()) return loadString(40235);
  if (errnum == ENOENT) return formatString(40189, {std::u16string(portName)});
  std::u16string text = errorText(errnum);
  if (errnum == EACCES) text += kAccessHint;
  if (errnum == EBUSY) text += kBusyHint;
  return text;
}

}  // namespace parlane
