// Cost of reading and writing one setting through the SQLite registry.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/sqlite_settings_backend.h"
#include "settings/settings_store.h"

namespace {

struct Fixture {
    Fixture()
        : folder(std::filesystem::temp_directory_path() /
                 ("sonaro-settings-bench-" + std::to_string(::getpid()))),
          backend((folder / "user.db").string(), (folder / "machine.db").string()),
          store(backend) {
        store.WriteSettingInt("Settings", "IntervalSecs", 30);
        store.WriteSettingString("Settings", "OutputFolder", "/home/user/Documents/Sonaro");
    }
    ~Fixture() { std::filesystem::remove_all(folder); }

    std::filesystem::path folder;
    sonaro::SqliteSettingsBackend backend;
    sonaro::SettingsStore store;
};

Fixture& fixture() {
    static Fixture instance;
    return instance;
}

void BM_ReadSettingInt(benchmark::State& state) {
    auto& store = fixture().store;
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.ReadSettingInt("Settings", "IntervalSecs", 0));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadSettingInt);

void BM_ReadSettingStringAbsent(benchmark::State& state) {
    auto& store = fixture().store;
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.ReadSettingString("Settings", "NeverWritten", "default"));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadSettingStringAbsent);

void BM_WriteSettingInt(benchmark::State& state) {
    auto& store = fixture().store;
    int value = 0;
    for (auto _ : state) {
        store.WriteSettingInt("Settings", "AutoNumber", ++value);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteSettingInt);

}  // namespace

BENCHMARK_MAIN();
