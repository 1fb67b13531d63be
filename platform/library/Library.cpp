#include "platform/library/Library.h"

#include <dirent.h>
#include <dlfcn.h>
#include <link.h>
#include <limits.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "platform/fs/PathMap.h"
#include "platform/service/Service.h"
#include "platform/system/SystemInfo.h"
#include "platform/text/CodePage.h"
#include "platform/win/LastError.h"

struct KvModule {
    void* handle = nullptr;  // null for the built-in kernel32 and for the program
    std::string path;        // POSIX path of the file
    bool builtinKernel32 = false;
};

namespace kv::platform {
namespace {

std::mutex g_modulesLock;
// Never destroyed, so a handle never dangles, not even at process exit.
std::vector<KvModule*>& g_modules = *new std::vector<KvModule*>;

KvModule g_kernel32{nullptr, "kernel32.dll", true};
// The service manager's calls a program looks up at run time.
KvModule g_advapi32{nullptr, "advapi32.dll", true};

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Stem(const std::string& name) {
    std::string lower = Lower(name);
    for (const char* ext : {".dll", ".exe", ".so"}) {
        size_t n = std::strlen(ext);
        if (lower.size() > n && lower.compare(lower.size() - n, n, ext) == 0)
            return name.substr(0, name.size() - n);
    }
    return name;
}

// File names (lower case) a Windows module name may have on disk.
std::vector<std::string> Candidates(const std::string& windowsName) {
    std::string stem = Lower(Stem(windowsName));
    return {stem + ".so", "lib" + stem + ".so", stem, Lower(windowsName)};
}

bool IsKernel32(const std::string& name) {
    std::string lower = Lower(BaseName(name));
    return lower == "kernel32.dll" || lower == "kernel32";
}

bool IsAdvapi32(const std::string& name) {
    std::string lower = Lower(BaseName(name));
    return lower == "advapi32.dll" || lower == "advapi32";
}

KvModule* Remember(void* handle, const std::string& path) {
    std::lock_guard<std::mutex> lock(g_modulesLock);
    for (KvModule* m : g_modules)
        if (m->handle == handle) return m;
    auto* module = new KvModule{handle, path, false};
    g_modules.push_back(module);
    return module;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

struct Search {
    std::vector<std::string> names;
    std::string found;
};

int FindLoaded(struct dl_phdr_info* info, size_t, void* data) {
    auto* search = static_cast<Search*>(data);
    if (info->dlpi_name == nullptr || info->dlpi_name[0] == '\0') return 0;
    std::string base = Lower(BaseName(info->dlpi_name));
    for (const std::string& n : search->names) {
        if (base == n) {
            search->found = info->dlpi_name;
            return 1;
        }
    }
    return 0;
}

}  // namespace

std::string ProgramPath() {
    char path[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return std::string();
    path[n] = '\0';
    return path;
}

std::string FindModuleFile(const std::string& folder, const std::string& windowsName) {
    std::vector<std::string> candidates = Candidates(windowsName);
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return std::string();
    std::string best;
    size_t bestRank = candidates.size();
    while (dirent* entry = ::readdir(dir)) {
        std::string lower = Lower(entry->d_name);
        for (size_t i = 0; i < bestRank; ++i) {
            if (lower == candidates[i]) {
                best = entry->d_name;
                bestRank = i;
                break;
            }
        }
    }
    ::closedir(dir);
    if (best.empty()) return std::string();
    return (folder == "/" ? "" : folder) + "/" + best;
}

const void* ModuleData(HMODULE module, const char* symbol) {
    if (module == nullptr || module->builtinKernel32) return nullptr;
    void* handle = module->handle != nullptr ? module->handle : RTLD_DEFAULT;
    // Module data is exported through an accessor of its name.
    auto accessor = reinterpret_cast<const void* (*)()>(::dlsym(handle, symbol));
    return accessor != nullptr ? accessor() : nullptr;
}

}  // namespace kv::platform

using namespace kv::platform;

HMODULE LoadLibraryA(LPCSTR name) {
    if (name == nullptr || *name == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string text(name);
    if (IsKernel32(text)) return &g_kernel32;
    if (IsAdvapi32(text)) return &g_advapi32;
    std::string folder;
    if (text.find_first_of("/\\") != std::string::npos) {
        size_t cut = text.find_last_of("/\\");
        folder = ToPosixPath(cut == 0 ? std::string("/") : text.substr(0, cut));
        if (cut == 2 && text[1] == ':') folder = ToPosixPath(text.substr(0, 3));
        text = text.substr(cut + 1);
    } else {
        folder = FolderOf(ProgramPath());
    }
    std::string file = folder.empty() ? std::string() : FindModuleFile(folder, text);
    if (file.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return Remember(handle, file);
}

HMODULE LoadLibraryW(LPCWSTR name) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string narrow = Utf16ToUtf8(name, WideLength(name));
    return LoadLibraryA(narrow.c_str());
}

BOOL FreeLibrary(HMODULE module) {
    if (module == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (module->builtinKernel32 || module->handle == nullptr) return TRUE;
    // The record stays; a later LoadLibrary of the same file finds it again.
    return ::dlclose(module->handle) == 0 ? TRUE : FALSE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    if (module == nullptr || name == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // A name below 0x10000 is an ordinal (MAKEINTRESOURCE), looked up in the
    // module's ordinal table.
    if ((reinterpret_cast<uintptr_t>(name) >> 16) == 0) {
        WORD ordinal = static_cast<WORD>(reinterpret_cast<uintptr_t>(name));
        auto table = static_cast<const KvOrdinalExport*>(ModuleData(module, "kv_export_ordinals"));
        for (; table != nullptr && table->ordinal != 0; ++table)
            if (table->ordinal == ordinal && table->function != nullptr) return table->function;
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    if (module == &g_advapi32) {
        if (std::strcmp(name, "ChangeServiceConfig2A") == 0) return reinterpret_cast<FARPROC>(&ChangeServiceConfig2A);
        if (std::strcmp(name, "QueryServiceConfig2A") == 0) return reinterpret_cast<FARPROC>(&QueryServiceConfig2A);
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    if (module->builtinKernel32) {
        if (std::strcmp(name, "GetUserDefaultUILanguage") == 0)
            return reinterpret_cast<FARPROC>(&GetUserDefaultUILanguage);
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* handle = module->handle != nullptr ? module->handle : RTLD_DEFAULT;
    void* symbol = ::dlsym(handle, name);
    if (symbol == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

HMODULE GetModuleHandleA(LPCSTR name) {
    static KvModule program{nullptr, std::string(), false};
    std::string programPath = ProgramPath();
    if (name == nullptr) {
        program.path = programPath;
        return &program;
    }
    std::string text = BaseName(name);
    if (IsKernel32(text)) return &g_kernel32;
    if (IsAdvapi32(text)) return &g_advapi32;
    Search search{Candidates(text), std::string()};
    std::string programBase = Lower(BaseName(programPath));
    for (const std::string& n : search.names) {
        if (programBase == n) {
            program.path = programPath;
            return &program;
        }
    }
    ::dl_iterate_phdr(&FindLoaded, &search);
    if (search.found.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void* handle = ::dlopen(search.found.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    KvModule* module = Remember(handle, search.found);
    ::dlclose(handle);  // no reference is added, as on Windows
    return module;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    if (fileName == nullptr || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::string path = module == nullptr ? ProgramPath() : module->path;
    if (module != nullptr && module->handle == nullptr && !module->builtinKernel32) path = ProgramPath();
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    std::string windows = ToWindowsPath(path);
    if (windows.size() + 1 > size) {
        std::memcpy(fileName, windows.data(), size - 1);
        fileName[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(fileName, windows.c_str(), windows.size() + 1);
    return static_cast<DWORD>(windows.size());
}
