#include "engine/UdevModems.h"

#include <libudev.h>

#include <algorithm>
#include <memory>
#include <string>

#include "core/util/Utf.h"

namespace parlane {

namespace {

struct UdevDeleter {
  void operator()(udev* handle) const { udev_unref(handle); }
  void operator()(udev_enumerate* handle) const { udev_enumerate_unref(handle); }
  void operator()(udev_device* handle) const { udev_device_unref(handle); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevDeleter>;

std::string property(udev_device* device, const char* name) {
  const char* value = udev_device_get_property_value(device, name);
  return value != nullptr ? std::string(value) : std::string();
}

// The database's name, else the device's own, where udev writes spaces as underscores.
std::string readableProperty(udev_device* device, const char* fromDatabase, const char* own) {
  std::string value = property(device, fromDatabase);
  if (!value.empty()) return value;
  value = property(device, own);
  std::replace(value.begin(), value.end(), '_', ' ');
  return value;
}

std::string friendlyName(udev_device* device, const std::string& port) {
  const std::string model = readableProperty(device, "ID_MODEL_FROM_DATABASE", "ID_MODEL");
  const std::string vendor = readableProperty(device, "ID_VENDOR_FROM_DATABASE", "ID_VENDOR");
  if (!vendor.empty() && !model.empty()) {
    return model.rfind(vendor, 0) == 0 ? model : vendor + " " + model;
  }
  if (!model.empty()) return model;
  if (!vendor.empty()) return vendor;
  // A UART on the board has no model: its port is the best name there is.
  return port;
}

}  // namespace

std::vector<ModemPortInfo> listUdevModems() {
  std::vector<ModemPortInfo> modems;
  UdevPtr<udev> context(udev_new());
  if (!context) return modems;
  UdevPtr<udev_enumerate> enumeration(udev_enumerate_new(context.get()));
  if (!enumeration || udev_enumerate_add_match_subsystem(enumeration.get(), "tty") < 0 ||
      udev_enumerate_scan_devices(enumeration.get()) < 0) {
    return modems;
  }
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumeration.get())) {
    UdevPtr<udev_device> device(
        udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
    if (!device) continue;
    // Consoles and pseudo-terminals are virtual: no device carries them.
    if (udev_device_get_parent(device.get()) == nullptr) continue;
    if (udev_device_get_devnode(device.get()) == nullptr) continue;
    const char* sysname = udev_device_get_sysname(device.get());
    if (sysname == nullptr || *sysname == '\0') continue;
    const std::string port(sysname);
    ModemPortInfo info;
    info.port = fromUtf8(port);
    info.friendlyName = fromUtf8(friendlyName(device.get(), port));
    modems.push_back(std::move(info));
  }
  return modems;
}

}  // namespace parlane
