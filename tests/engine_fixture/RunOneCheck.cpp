// Runs one check of the queued scan job as the agent would, with the engine
// library named on the command line, for tests that drive the whole system
// from outside (the console's page, then a check). Exit code: 0 when
// CheckFiles returned S_OK.
#include <cstdio>

#include "platform/library/Library.h"
#include "platform/win/WinTypes.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: KvTestRunCheck ENGINE.so\n");
        return 2;
    }
    HMODULE engine = LoadLibraryA(argv[1]);
    if (engine == nullptr) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 2;
    }
    auto checkFiles = reinterpret_cast<HRESULT (*)(LONG*)>(GetProcAddress(engine, "CheckFiles"));
    if (checkFiles == nullptr) return 2;
    LONG stop = 0;
    HRESULT result = checkFiles(&stop);
    std::printf("CheckFiles %d\n", static_cast<int>(result));
    return result == S_OK ? 0 : 1;
}
