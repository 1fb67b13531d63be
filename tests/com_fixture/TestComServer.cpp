// A small in-process server for the COM activation tests: one class, its
// factory and the four module entry points.
#include "platform/com/Registration.h"
#include "platform/library/Library.h"
#include "tests/com_fixture/Counter.h"

#define KV_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

class Counter : public ICounter {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ICounter) {
            *object = static_cast<ICounter*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return m_refs.Increment(); }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = m_refs.Decrement();
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP Add(LONG amount) override {
        m_total += amount;
        return S_OK;
    }
    STDMETHODIMP_(LONG) Total() override { return m_total; }

private:
    kv::platform::ComRefCount m_refs;
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
