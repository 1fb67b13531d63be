#include "platform/com/Registration.h"

#include "platform/registry/Registry.h"

namespace kv::platform {
namespace {

HRESULT FromRegistry(LONG rc) { return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc); }

}  // namespace

LONG SetRegistryText(void* root, const std::string& subKey, const char* name, const std::string& text) {
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExA(static_cast<HKEY>(root), subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_WRITE, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    rc = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
    return rc;
}

LONG DeleteRegistryTree(void* root, const std::string& subKey) {
    LONG rc = RegDeleteTreeA(static_cast<HKEY>(root), subKey.c_str());
    return rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND ? ERROR_SUCCESS : rc;
}

HRESULT RegisterComClass(const ComClassRegistration& entry, const std::string& modulePath) {
    if (entry.clsid == nullptr || entry.description == nullptr) return E_INVALIDARG;
    const std::string clsid = GuidText(*entry.clsid);
    const std::string classKey = "CLSID\\" + clsid;
    LONG rc = SetRegistryText(HKEY_CLASSES_ROOT, classKey, nullptr, entry.description);
    if (rc == ERROR_SUCCESS) rc = SetRegistryText(HKEY_CLASSES_ROOT, classKey + "\\InprocServer32", nullptr, modulePath);
    if (rc == ERROR_SUCCESS && entry.threadingModel != nullptr)
        rc = SetRegistryText(HKEY_CLASSES_ROOT, classKey + "\\InprocServer32", "ThreadingModel", entry.threadingModel);
    if (rc == ERROR_SUCCESS && entry.progId != nullptr) {
        rc = SetRegistryText(HKEY_CLASSES_ROOT, classKey + "\\ProgID", nullptr, entry.progId);
        if (rc == ERROR_SUCCESS) rc = SetRegistryText(HKEY_CLASSES_ROOT, entry.progId, nullptr, entry.description);
        if (rc == ERROR_SUCCESS)
            rc = SetRegistryText(HKEY_CLASSES_ROOT, std::string(entry.progId) + "\\CLSID", nullptr, clsid);
    }
    if (rc == ERROR_SUCCESS && entry.versionIndependentProgId != nullptr) {
        const std::string vi = entry.versionIndependentProgId;
        rc = SetRegistryText(HKEY_CLASSES_ROOT, classKey + "\\VersionIndependentProgID", nullptr, vi);
        if (rc == ERROR_SUCCESS) rc = SetRegistryText(HKEY_CLASSES_ROOT, vi, nullptr, entry.description);
        if (rc == ERROR_SUCCESS) rc = SetRegistryText(HKEY_CLASSES_ROOT, vi + "\\CLSID", nullptr, clsid);
        if (rc == ERROR_SUCCESS && entry.progId != nullptr)
            rc = SetRegistryText(HKEY_CLASSES_ROOT, vi + "\\CurVer", nullptr, entry.progId);
    }
    if (rc == ERROR_SUCCESS && entry.typeLibrary != nullptr)
        rc = SetRegistryText(HKEY_CLASSES_ROOT, classKey + "\\TypeLib", nullptr, GuidText(*entry.typeLibrary));
    return FromRegistry(rc);
}

HRESULT UnregisterComClass(const ComClassRegistration& entry) {
    if (entry.clsid == nullptr) return E_INVALIDARG;
    LONG rc = ERROR_SUCCESS;
    if (entry.versionIndependentProgId != nullptr)
        rc = DeleteRegistryTree(HKEY_CLASSES_ROOT, entry.versionIndependentProgId);
    if (rc == ERROR_SUCCESS && entry.progId != nullptr) rc = DeleteRegistryTree(HKEY_CLASSES_ROOT, entry.progId);
    if (rc == ERROR_SUCCESS) rc = DeleteRegistryTree(HKEY_CLASSES_ROOT, "CLSID\\" + GuidText(*entry.clsid));
    return FromRegistry(rc);
}

HRESULT RegisterTypeLibrary(REFGUID library, const char* version, const char* description,
                            const std::string& modulePath) {
    const std::string key = "TypeLib\\" + GuidText(library) + "\\" + version;
    LONG rc = SetRegistryText(HKEY_CLASSES_ROOT, key, nullptr, description);
    if (rc == ERROR_SUCCESS) rc = SetRegistryText(HKEY_CLASSES_ROOT, key + "\\0\\win32", nullptr, modulePath);
    if (rc == ERROR_SUCCESS) rc = SetRegistryText(HKEY_CLASSES_ROOT, key + "\\FLAGS", nullptr, "0");
    size_t cut = modulePath.find_last_of("\\/");
    std::string folder = cut == std::string::npos ? std::string() : modulePath.substr(0, cut);
    if (rc == ERROR_SUCCESS) rc = SetRegistryText(HKEY_CLASSES_ROOT, key + "\\HELPDIR", nullptr, folder);
    return FromRegistry(rc);
}

HRESULT UnregisterTypeLibrary(REFGUID library, const char* version) {
    const std::string libraryKey = "TypeLib\\" + GuidText(library);
    LONG rc = DeleteRegistryTree(HKEY_CLASSES_ROOT, libraryKey + "\\" + version);
    if (rc != ERROR_SUCCESS) return FromRegistry(rc);
    // The library key goes with its last version.
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, libraryKey.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        char name[256];
        DWORD length = sizeof name;
        bool empty = RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS;
        RegCloseKey(key);
        if (empty) rc = DeleteRegistryTree(HKEY_CLASSES_ROOT, libraryKey);
    }
    return FromRegistry(rc);
}

}  // namespace kv::platform
