// What a module's DllRegisterServer writes for its classes, as the
// registration scripts of a Windows server would: HKCR\CLSID\{...} with its
// InprocServer32, ProgID and version-independent ProgID keys, the ProgID keys
// themselves, and the module's type library under HKCR\TypeLib.
#pragma once

#include <string>

#include "platform/com/Guid.h"
#include "platform/win/WinTypes.h"

namespace kv::platform {

struct ComClassRegistration {
    const CLSID* clsid;
    const char* description;               // default value of the class and ProgID keys
    const char* progId;                    // "Module.Class.1"
    const char* versionIndependentProgId;  // "Module.Class"
    const char* threadingModel;            // "Apartment", "Both", ...
    const GUID* typeLibrary;               // null when the class names none
};

// Registry errors come back as HRESULT_FROM_WIN32 of the failing call.
HRESULT RegisterComClass(const ComClassRegistration& entry, const std::string& modulePath);
// Removes the class's keys depth first; keys already gone are no error.
HRESULT UnregisterComClass(const ComClassRegistration& entry);

HRESULT RegisterTypeLibrary(REFGUID library, const char* version, const char* description,
                            const std::string& modulePath);
HRESULT UnregisterTypeLibrary(REFGUID library, const char* version);

// Sets the REG_SZ value (name null or "" for the default value) of a key,
// creating the key and its parents.
LONG SetRegistryText(void* root, const std::string& subKey, const char* name, const std::string& text);
// RegDeleteTreeA that treats a missing key as done.
LONG DeleteRegistryTree(void* root, const std::string& subKey);

}  // namespace kv::platform
