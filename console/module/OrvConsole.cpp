// The module's entry points: the four a COM server exports.
#include "console/module/ConsoleGuids.h"
#include "console/module/ModuleStartup.h"
#include "console/module/SnapinRegistration.h"
#include "console/snapin/ClassObjects.h"
#include "platform/com/Unknown.h"

#define ORV_EXPORT extern "C" __attribute__((visibility("default")))

ORV_EXPORT HRESULT DllCanUnloadNow() { return kv::platform::g_comModuleCount.load() == 0 ? S_OK : S_FALSE; }

ORV_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    InitConsoleModule();
    return GetConsoleClassObject(clsid, riid, object);
}

ORV_EXPORT HRESULT DllRegisterServer() { return RegisterSnapin(); }

ORV_EXPORT HRESULT DllUnregisterServer() { return UnregisterSnapin(); }
