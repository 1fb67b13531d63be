// The comparison and the baseline roll of one check on a prepared database:
// the machine root of the environment holds an installed database whose
// CURRENT_DATA and OLD_DATA are filled (bench/roll_compare.sh does that).
// Prints the wall time of DispatchResults and of UpdateData; the roll begins
// with the comparison, so its time is what remains of it afterwards.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>

#include "common/ProductStrings.h"
#include "common/Settings.h"
#include "engine/EngineState.h"
#include "engine/alert/DispatchResults.h"
#include "engine/database/EngineDatabase.h"
#include "engine/run/CheckRun.h"

namespace kvtest {
// The tests' fixtures link against this; the benchmark has no use for it.
void RefreshEngineSettings() {}
}  // namespace kvtest

namespace {

// User and system CPU seconds of the process so far.
double CpuSeconds() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main() {
    LoadProductStrings();
    GetDebugSettingsFromRegistry();
    g_nCurrentProfile = 1;
    g_bFirstCheck = FALSE;
    if (OpenDB() != S_OK) {
        std::fprintf(stderr, "OpenDB failed\n");
        return 1;
    }
    const double cpuStart = CpuSeconds();
    auto start = std::chrono::steady_clock::now();
    // As a check does: the roll is made while the comparison reads, and
    // committed after it.
    StartUpdateData();
    DispatchResults();
    const double cpuCompared = CpuSeconds();
    auto compared = std::chrono::steady_clock::now();
    HRESULT rolled = UpdateData();
    const double cpuEnd = CpuSeconds();
    auto end = std::chrono::steady_clock::now();
    CloseDB();
    std::printf("compare %.2f s (cpu %.2f s), roll %.2f s (cpu %.2f s)%s\n",
                std::chrono::duration<double>(compared - start).count(), cpuCompared - cpuStart,
                std::chrono::duration<double>(end - compared).count(), cpuEnd - cpuCompared,
                rolled == S_OK ? "" : " (roll failed)");
    std::fflush(stdout);
    return rolled == S_OK ? 0 : 1;
}
