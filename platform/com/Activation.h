// COM activation: CoCreateInstance and CoGetClassObject find a class either
// among the class objects this process registered (CoRegisterClassObject) or
// under HKCR\CLSID\{...}\InprocServer32, whose default value names the module;
// the module is loaded once and asked through its DllGetClassObject. The
// table is process-wide, so these calls live in the shared library kvcom
// rather than in each module's own copy of the platform layer.
#pragma once

#include "platform/com/ComInit.h"
#include "platform/com/Unknown.h"

#define KV_COM_API __attribute__((visibility("default")))

#ifndef CO_E_DLLNOTFOUND
#define CO_E_DLLNOTFOUND ((HRESULT)0x800401F8L)
#endif
#ifndef CO_E_ERRORINDLL
#define CO_E_ERRORINDLL ((HRESULT)0x800401F9L)
#endif
#ifndef CO_E_OBJNOTREG
#define CO_E_OBJNOTREG ((HRESULT)0x800401FBL)
#endif

#define REGCLS_SINGLEUSE 0u
#define REGCLS_MULTIPLEUSE 1u
#define REGCLS_MULTI_SEPARATE 2u

typedef HRESULT (*LPFNGETCLASSOBJECT)(REFCLSID, REFIID, void**);
typedef HRESULT (*LPFNCANUNLOADNOW)();
typedef HRESULT (*LPFNREGISTERSERVER)();

KV_COM_API HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* serverInfo, REFIID riid,
                                    void** object);
// REGDB_E_CLASSNOTREG when the class is neither registered for this process
// nor under HKCR; CO_E_DLLNOTFOUND when its module cannot be loaded;
// CO_E_ERRORINDLL when the module has no DllGetClassObject.
KV_COM_API HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                                    void** object);
// Makes a class object of this process findable by CoCreateInstance until
// revoked; the table holds a reference.
KV_COM_API HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* classObject, DWORD context,
                                         DWORD flags, LPDWORD cookie);
KV_COM_API HRESULT CoRevokeClassObject(DWORD cookie);
// Unloads the modules whose DllCanUnloadNow answers S_OK.
KV_COM_API void CoFreeUnusedLibraries();
