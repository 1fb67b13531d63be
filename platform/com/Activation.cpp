#include "platform/com/Activation.h"

#include <mutex>
#include <string>
#include <vector>

#include "platform/library/Library.h"
#include "platform/registry/Registry.h"

namespace {

struct RegisteredClass {
    DWORD cookie;
    CLSID clsid;
    IUnknown* object;
};

struct LoadedServer {
    std::string path;  // as the registry names it, upper-cased for comparison
    HMODULE module;
};

std::mutex g_lock;
// Never destroyed: class objects may be revoked by static destructors of
// other modules at exit.
std::vector<RegisteredClass>& g_classes = *new std::vector<RegisteredClass>;
std::vector<LoadedServer>& g_servers = *new std::vector<LoadedServer>;
DWORD g_nextCookie = 1;

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// The module path of an in-process server; empty when the class is not
// registered.
std::string InprocServerPath(REFCLSID clsid) {
    std::string key = "CLSID\\" + kv::platform::GuidText(clsid) + "\\InprocServer32";
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return std::string();
    char path[1024] = {0};
    DWORD size = sizeof path - 1;
    DWORD type = 0;
    LONG rc = RegQueryValueExA(handle, nullptr, nullptr, &type, reinterpret_cast<LPBYTE>(path), &size);
    RegCloseKey(handle);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::string();
    path[sizeof path - 1] = '\0';
    return path;
}

// The loaded module of a server path, loading it on first use.
HMODULE ServerModule(const std::string& path) {
    std::string key = Upper(path);
    {
        std::lock_guard<std::mutex> guard(g_lock);
        for (const LoadedServer& server : g_servers)
            if (server.path == key) return server.module;
    }
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) return nullptr;
    std::lock_guard<std::mutex> guard(g_lock);
    for (const LoadedServer& server : g_servers) {
        if (server.path == key) {
            // Another thread loaded it meanwhile; keep one reference.
            FreeLibrary(module);
            return server.module;
        }
    }
    g_servers.push_back({key, module});
    return module;
}

}  // namespace

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void*, REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    IUnknown* local = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        for (const RegisteredClass& entry : g_classes) {
            if (entry.clsid == clsid) {
                local = entry.object;
                local->AddRef();
                break;
            }
        }
    }
    if (local != nullptr) {
        HRESULT hr = local->QueryInterface(riid, object);
        local->Release();
        return hr;
    }
    if ((context & (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)) == 0) return REGDB_E_CLASSNOTREG;
    std::string path = InprocServerPath(clsid);
    if (path.empty()) return REGDB_E_CLASSNOTREG;
    HMODULE module = ServerModule(path);
    if (module == nullptr) return CO_E_DLLNOTFOUND;
    auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(GetProcAddress(module, "DllGetClassObject"));
    if (getClassObject == nullptr) return CO_E_ERRORINDLL;
    return getClassObject(clsid, riid, object);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(outer, riid, object);
    factory->Release();
    return hr;
}

HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* classObject, DWORD, DWORD, LPDWORD cookie) {
    if (classObject == nullptr || cookie == nullptr) return E_INVALIDARG;
    classObject->AddRef();
    std::lock_guard<std::mutex> guard(g_lock);
    *cookie = g_nextCookie++;
    g_classes.push_back({*cookie, clsid, classObject});
    return S_OK;
}

HRESULT CoRevokeClassObject(DWORD cookie) {
    IUnknown* object = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        for (auto it = g_classes.begin(); it != g_classes.end(); ++it) {
            if (it->cookie == cookie) {
                object = it->object;
                g_classes.erase(it);
                break;
            }
        }
    }
    if (object == nullptr) return CO_E_OBJNOTREG;
    object->Release();
    return S_OK;
}

void CoFreeUnusedLibraries() {
    std::vector<HMODULE> unload;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        for (auto it = g_servers.begin(); it != g_servers.end();) {
            auto canUnload = reinterpret_cast<LPFNCANUNLOADNOW>(GetProcAddress(it->module, "DllCanUnloadNow"));
            if (canUnload != nullptr && canUnload() == S_OK) {
                unload.push_back(it->module);
                it = g_servers.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (HMODULE module : unload) FreeLibrary(module);
}
