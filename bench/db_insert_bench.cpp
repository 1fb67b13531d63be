// Item appends through the item recordset into an installed database: rows
// per second with the engine's batches (committed every 1000 rows, at the
// connection restart) against rows stored one by one (each committed alone).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "common/ProductStrings.h"
#include "common/Settings.h"
#include "engine/database/EngineDatabase.h"
#include "tests/fixtures/TestDatabase.h"

namespace kvtest {
// The engine's copy of the common layer, refreshed from the test root.
void RefreshEngineSettings() {
    LoadProductStrings();
    GetDebugSettingsFromRegistry();
}
}  // namespace kvtest

namespace {

ItemRow RowOf(int64_t n) {
    ItemRow row;
    row.path = "C:\\usr\\share\\doc\\package" + std::to_string(n / 50) + "\\file" + std::to_string(n) + ".txt";
    row.md5 = "0123456789abcdef0123456789abcdef";
    row.size = static_cast<LONG>(n);
    row.hasTimes = true;
    row.creationTime = 1700000000;
    row.lastModifiedTime = 1700000100;
    row.lastAccessedTime = 1700000200;
    row.owner = "HOST\\root";
    row.attributes = 32;
    char digest[40];
    std::snprintf(digest, sizeof digest, "%032llx", static_cast<unsigned long long>(n * 2654435761u));
    row.pathMd5 = digest;
    row.profileId = 1;
    return row;
}

// The engine's way: AppendItemRow, which restarts (and commits) every 1000 rows.
void BM_AppendBatched(benchmark::State& state) {
    kvtest::TestRoot root;
    kvtest::TestDatabase db(root);
    root.SetDword("DEBUG", 0);
    kvtest::RefreshEngineSettings();
    const int64_t rows = state.range(0);
    int64_t n = 0;
    for (auto _ : state) {
        g_dwInsertCounter = 0;
        if (OpenDB() != S_OK) {
            state.SkipWithError("OpenDB failed");
            return;
        }
        for (int64_t i = 0; i < rows; ++i) AppendItemRow(RowOf(n++));
        CloseDB();
        state.PauseTiming();
        db.Execute("DELETE FROM CURRENT_DATA");
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_AppendBatched)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Each row stored and committed on its own, as an append that is flushed at once.
void BM_AppendOneByOne(benchmark::State& state) {
    kvtest::TestRoot root;
    kvtest::TestDatabase db(root);
    root.SetDword("DEBUG", 0);
    kvtest::RefreshEngineSettings();
    const int64_t rows = state.range(0);
    int64_t n = 0;
    for (auto _ : state) {
        if (OpenDB() != S_OK) {
            state.SkipWithError("OpenDB failed");
            return;
        }
        for (int64_t i = 0; i < rows; ++i) {
            AppendItemRow(RowOf(n++));
            ItemRecordset()->FlushAppends();
        }
        CloseDB();
    }
    state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_AppendOneByOne)->Arg(5000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
