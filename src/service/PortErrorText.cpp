#include "service/PortErrorText.h"

#include <cerrno>

#include "core/util/ErrorText.h"
#include "core/util/StringTable.h"

namespace parlane {

std::u16string portOpenFailureText(int errnum, std::u16string_view port) {
  if (port.empty()) return loadString(40235);
  if (errnum == ENOENT) return formatString(40189, {std::u16string(port)});
  std::u16string text = errorText(errnum);
  if (errnum == EACCES) {
    text +=
        u"\nYour user must be in the group that owns the port (dialout on Debian): "
        u"sudo usermod -aG dialout $USER, then log in again.";
  } else if (errnum == EBUSY) {
    text +=
        u"\nAnother program holds the port, usually ModemManager or brltty. The README shows "
        u"the udev rule that makes ModemManager leave the modem alone.";
  }
  return text;
}

}  // namespace parlane
