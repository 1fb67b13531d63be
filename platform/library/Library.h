// LoadLibrary, GetProcAddress and GetModuleFileName over the dynamic loader.
// The Windows names are accepted: "OrvEngine.dll" finds OrvEngine.so (or
// libOrvEngine.so) in the folder of the running program, "KvLaunch.exe" names
// the program KvLaunch. Failures set ERROR_MOD_NOT_FOUND (126) and
// ERROR_PROC_NOT_FOUND (127).
#pragma once

#include <string>

#include "platform/win/WinTypes.h"

// A module's exports by ordinal, as its .def file lists them: the table its
// exported accessor "kv_export_ordinals" returns, ended by an entry of
// ordinal 0. GetProcAddress with MAKEINTRESOURCE(n) finds entry n there.
struct KvOrdinalExport {
    WORD ordinal;
    FARPROC function;
};

HMODULE LoadLibraryA(LPCSTR name);
HMODULE LoadLibraryW(LPCWSTR name);
BOOL FreeLibrary(HMODULE module);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
// A module already loaded in this process, by its Windows or POSIX name;
// null names the program itself. Does not add a reference.
HMODULE GetModuleHandleA(LPCSTR name);
// The module's full path in Windows form; returns its length, or the buffer
// size with ERROR_INSUFFICIENT_BUFFER when it was cut.
DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);

namespace kv::platform {

// Data a module exports (string tables, message tables): the result of its
// exported accessor function of that name; null when there is none.
const void* ModuleData(HMODULE module, const char* symbol);

// The POSIX path of the running program.
std::string ProgramPath();

// The file names a Windows module name may have here, in the order tried.
std::string FindModuleFile(const std::string& folder, const std::string& windowsName);

}  // namespace kv::platform
