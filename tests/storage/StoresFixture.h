#pragma once

#include <memory>

#include "core/settings/SettingsStore.h"
#include "storage/MessageStores.h"
#include "support/TempDir.h"

namespace parlane::test {

// The five stores in a temporary data folder, with the usual file names.
class StoresFixture {
 public:
  explicit StoresFixture(int instance = 0) {
    for (StoreKind kind : kAllStores) {
      settings.setString(std::u16string(storeName(kind)) + u".filename", storeName(kind) + u".txt");
    }
    stores = std::make_unique<MessageStores>(settings, dir.path(), instance);
  }

  TempDir dir;
  SettingsStore settings;
  std::unique_ptr<MessageStores> stores;
};

}  // namespace parlane::test
