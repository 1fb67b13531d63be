#include "console/snapin/ClassObjects.h"

#include "console/module/ConsoleGuids.h"
#include "console/snapin/Component.h"
#include "console/snapin/ComponentData.h"
#include "console/snapin/DataObject.h"
#include "console/snapin/SnapinAbout.h"

namespace {

template <class T>
HRESULT Factory(REFIID riid, void** object) {
    auto* factory = new (std::nothrow) kv::platform::ClassFactory<T>;
    if (factory == nullptr) return E_OUTOFMEMORY;
    factory->AddRef();
    HRESULT hr = factory->QueryInterface(riid, object);
    factory->Release();
    return hr;
}

}  // namespace

HRESULT GetConsoleClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (clsid == CLSID_ComponentData) return Factory<CComponentData>(riid, object);
    if (clsid == CLSID_Component) return Factory<CComponent>(riid, object);
    if (clsid == CLSID_DataObject) return Factory<CDataObject>(riid, object);
    if (clsid == CLSID_SnapinAbout) return Factory<CSnapinAbout>(riid, object);
    return CLASS_E_CLASSNOTAVAILABLE;
}
