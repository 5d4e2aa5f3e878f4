// Shut-down saves the whole configuration into the registry key file, merging it with what the
// key already holds; start-up loads it back. Both with tens of thousands of keys (an address book
// of groups and operators, long recipient lists).
#include <benchmark/benchmark.h>

#include <string>

#include "core/settings/RegistryHive.h"
#include "core/settings/SettingsStore.h"
#include "support/TempDir.h"

namespace parlane {
namespace {

constexpr const char* kKey = "Software\\Quortane SMS\\Parlane";

class Hive {
 public:
  RegistryHive hive() const { return RegistryHive(folder_.path()); }

 private:
  test::TempDir folder_;
};

void fill(SettingsStore& store, int keys) {
  for (int i = 0; i < keys; ++i) {
    store.setStringByPattern("address.%d", i, u"+49170" + std::u16string(7, u'0' + i % 10));
  }
}

// The save at shut-down, into a key that already holds every value (the usual case).
void BM_SaveToRegistry(benchmark::State& state) {
  Hive folder;
  RegistryHive hive = folder.hive();
  SettingsStore store;
  fill(store, static_cast<int>(state.range(0)));
  store.saveToRegistry(hive, kKey);
  for (auto _ : state) {
    if (!store.saveToRegistry(hive, kKey)) state.SkipWithError("save failed");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_LoadFromRegistry(benchmark::State& state) {
  Hive folder;
  RegistryHive hive = folder.hive();
  SettingsStore source;
  fill(source, static_cast<int>(state.range(0)));
  source.saveToRegistry(hive, kKey);
  for (auto _ : state) {
    SettingsStore store;
    if (!store.loadFromRegistry(hive, kKey)) state.SkipWithError("load failed");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_SaveToRegistry)->Arg(1000)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFromRegistry)->Arg(1000)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace parlane

BENCHMARK_MAIN();
