#include "console/module/SnapinRegistration.h"

#include <string>

#include "console/module/ConsoleGuids.h"
#include "console/module/ModuleStartup.h"
#include "platform/com/Registration.h"
#include "platform/registry/Registry.h"

using kv::platform::ComClassRegistration;
using kv::platform::GuidText;

namespace {

const ComClassRegistration kClasses[] = {
    {&CLSID_ComponentData, "ComponentData Class", "OrvConsole.ComponentData.1", "OrvConsole.ComponentData", "Both",
     &LIBID_OrvConsoleLib},
    {&CLSID_Component, "Component Class", "OrvConsole.Component.1", "OrvConsole.Component", "Both",
     &LIBID_OrvConsoleLib},
    {&CLSID_DataObject, "DataObject Class", "OrvConsole.DataObject.1", "OrvConsole.DataObject", "Both",
     &LIBID_OrvConsoleLib},
    {&CLSID_SnapinAbout, "SnapinAbout Class", "OrvConsole.SnapinAbout.1", "OrvConsole.SnapinAbout", "Both",
     &LIBID_OrvConsoleLib},
};

const char kTypeLibraryVersion[] = "1.0";
const char kTypeLibraryName[] = "OrvConsole 1.0 Type Library";

HRESULT FromRegistry(LONG rc) { return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc); }

std::string SnapinKey() { return std::string(SNAPINS_KEY) + "\\" + GuidText(CLSID_ComponentData); }

LONG SetText(HKEY key, const char* name, const std::string& text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
}

// Deletes a key and everything below it, children first: the registry, like
// Windows', refuses to delete a key that still has sub-keys.
LONG DeleteKeyDepthFirst(HKEY parent, const std::string& name) {
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (rc != ERROR_SUCCESS) return rc;
    for (;;) {
        char child[256];
        DWORD length = sizeof child;
        if (RegEnumKeyExA(key, 0, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        rc = DeleteKeyDepthFirst(key, child);
        if (rc != ERROR_SUCCESS) {
            RegCloseKey(key);
            return rc;
        }
    }
    RegCloseKey(key);
    return RegDeleteKeyA(parent, name.c_str());
}

}  // namespace

HRESULT RegisterSnapin() {
    InitConsoleModule();
    const std::string modulePath = ConsoleModulePath();
    if (modulePath.empty()) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);

    HKEY key = nullptr;
    LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, SnapinKey().c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) return FromRegistry(rc);
    rc = SetText(key, "NameString", SnapinName());
    if (rc == ERROR_SUCCESS) {
        HKEY standAlone = nullptr;
        rc = RegCreateKeyExA(key, "StandAlone", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                             &standAlone, nullptr);
        if (rc == ERROR_SUCCESS) RegCloseKey(standAlone);
    }
    if (rc == ERROR_SUCCESS) rc = SetText(key, "About", GuidText(CLSID_SnapinAbout));
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return FromRegistry(rc);

    for (const ComClassRegistration& entry : kClasses) {
        HRESULT hr = kv::platform::RegisterComClass(entry, modulePath);
        if (FAILED(hr)) return hr;
    }
    return kv::platform::RegisterTypeLibrary(LIBID_OrvConsoleLib, kTypeLibraryVersion, kTypeLibraryName, modulePath);
}

HRESULT UnregisterSnapin() {
    InitConsoleModule();
    LONG rc = DeleteKeyDepthFirst(HKEY_LOCAL_MACHINE, SnapinKey());
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return FromRegistry(rc);
    for (const ComClassRegistration& entry : kClasses) {
        HRESULT hr = kv::platform::UnregisterComClass(entry);
        if (FAILED(hr)) return hr;
    }
    return kv::platform::UnregisterTypeLibrary(LIBID_OrvConsoleLib, kTypeLibraryVersion);
}
