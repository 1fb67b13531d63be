// kvregsvr32: registers or unregisters an in-process COM server, in the
// manner of regsvr32.exe.
//   kvregsvr32 [/s] MODULE       calls the module's DllRegisterServer
//   kvregsvr32 [/s] /u MODULE    calls its DllUnregisterServer
// The exit status is regsvr32's: 0 done, 1 bad arguments, 3 the module cannot
// be loaded, 4 it has no such entry point, 5 the entry point failed. /s keeps
// the success line quiet; failures always go to standard error.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/library/Library.h"
#include "platform/win/LastError.h"

namespace {

enum ExitCode { kDone = 0, kBadArguments = 1, kLoadFailed = 3, kNoEntry = 4, kCallFailed = 5 };

void Usage(FILE* out) {
    std::fprintf(out,
                 "Usage: kvregsvr32 [/u] [/s] MODULE\n"
                 "  Loads the in-process COM server MODULE and calls its DllRegisterServer,\n"
                 "  or with /u its DllUnregisterServer.\n"
                 "  /s  print nothing on success\n");
}

bool IsOption(const char* arg, const char* name) {
    return (arg[0] == '/' || arg[0] == '-') && strcasecmp(arg + 1, name) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    bool unregister = false;
    bool silent = false;
    const char* module = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || IsOption(argv[i], "?") || IsOption(argv[i], "h")) {
            Usage(stdout);
            return kDone;
        }
        if (IsOption(argv[i], "u")) {
            unregister = true;
        } else if (IsOption(argv[i], "s")) {
            silent = true;
        } else if (argv[i][0] == '/' && argv[i][1] != '\0' && std::strchr(argv[i] + 1, '/') == nullptr) {
            std::fprintf(stderr, "kvregsvr32: unknown option %s\n", argv[i]);
            Usage(stderr);
            return kBadArguments;
        } else if (module == nullptr) {
            module = argv[i];
        } else {
            std::fprintf(stderr, "kvregsvr32: more than one module named\n");
            return kBadArguments;
        }
    }
    if (module == nullptr) {
        Usage(stderr);
        return kBadArguments;
    }
    HMODULE handle = LoadLibraryA(module);
    if (handle == nullptr) {
        std::fprintf(stderr, "kvregsvr32: The module \"%s\" failed to load (error %u).\n", module,
                     static_cast<unsigned>(GetLastError()));
        return kLoadFailed;
    }
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    auto call = reinterpret_cast<HRESULT (*)()>(GetProcAddress(handle, entry));
    if (call == nullptr) {
        std::fprintf(stderr, "kvregsvr32: The module \"%s\" was loaded but the entry-point %s was not found.\n",
                     module, entry);
        FreeLibrary(handle);
        return kNoEntry;
    }
    HRESULT hr = call();
    FreeLibrary(handle);
    if (FAILED(hr)) {
        std::fprintf(stderr, "kvregsvr32: The module \"%s\" was loaded but the call to %s failed with error code 0x%08X.\n",
                     module, entry, static_cast<unsigned>(hr));
        return kCallFailed;
    }
    if (!silent) std::printf("%s in %s succeeded.\n", entry, module);
    return kDone;
}
