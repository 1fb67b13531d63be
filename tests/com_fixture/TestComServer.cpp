// A small in-process server for the COM activation tests: one class, its
// factory and the four module entry points.
#include "platform/com/Registration.h"
#include "platform/library/Library.h"
#include "tests/com_fixture/Counter.h"

#define KV_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

class Counter : public kv::platform::SingleInterfaceObject<ICounter, IID_ICounter> {
public:
    STDMETHODIMP Add(LONG amount) override {
        m_total += amount;
        return S_OK;
    }
    STDMETHODIMP_(LONG) Total() override { return m_total; }

private:
    LONG m_total = 0;
};

const kv::platform::ComClassRegistration kCounter = {&CLSID_KvTestCounter, "Counter Class", "KvTest.Counter.1",
                                                     "KvTest.Counter", "Both", nullptr};

}  // namespace

KV_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_KvTestCounter) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new kv::platform::ClassFactory<Counter>;
    factory->AddRef();
    HRESULT hr = factory->QueryInterface(riid, object);
    factory->Release();
    return hr;
}

KV_EXPORT HRESULT DllCanUnloadNow() { return kv::platform::g_comModuleCount.load() == 0 ? S_OK : S_FALSE; }

KV_EXPORT HRESULT DllRegisterServer() {
    char path[MAX_PATH * 4];
    if (GetModuleFileNameA(GetModuleHandleA("TestComServer.dll"), path, sizeof path) == 0) return E_FAIL;
    return kv::platform::RegisterComClass(kCounter, path);
}

KV_EXPORT HRESULT DllUnregisterServer() { return kv::platform::UnregisterComClass(kCounter); }
