// Runs one check of the queued scan job in the machine root of the
// environment, in this process, and prints its wall time and the process's
// peak resident memory. Used by bench/whole_check.sh.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>

#include "engine/OrvEngine.h"

int main() {
    LONG stop = 0;
    auto start = std::chrono::steady_clock::now();
    HRESULT result = CheckFiles(&stop);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("result %d wall %.2f s peak %.1f MiB\n", static_cast<int>(result), seconds, usage.ru_maxrss / 1024.0);
    return result == 0 ? 0 : 1;
}
