#pragma once

#include <string>
#include <string_view>

namespace parlane {

// The device path of a port name: a name that begins with "/" stands as it is (so that
// /dev/serial/by-id/... works); else `prefix` + name when `usePrefix`, otherwise "/dev/" + name.
std::string portPath(std::u16string_view name, bool usePrefix, std::u16string_view prefix);

}  // namespace parlane
