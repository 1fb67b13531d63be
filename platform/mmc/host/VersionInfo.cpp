#include "platform/mmc/host/VersionInfo.h"

#include <new>

namespace kv::mmc {

namespace {

class VersionInfo : public IMMCVersionInfo {
public:
    VersionInfo(long major, long minor) : m_major(major), m_minor(minor) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IMMCVersionInfo) {
            *object = static_cast<IMMCVersionInfo*>(this);
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
    STDMETHODIMP GetMMCVersion(long* major, long* minor) override {
        if (major == nullptr || minor == nullptr) return E_POINTER;
        *major = m_major;
        *minor = m_minor;
        return S_OK;
    }

private:
    kv::platform::ComRefCount m_refs;
    long m_major, m_minor;
};

class VersionInfoFactory : public IClassFactory {
public:
    VersionInfoFactory(long major, long minor) : m_major(major), m_minor(minor) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
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
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        auto* created = new (std::nothrow) VersionInfo(m_major, m_minor);
        if (created == nullptr) return E_OUTOFMEMORY;
        created->AddRef();
        HRESULT hr = created->QueryInterface(riid, object);
        created->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    kv::platform::ComRefCount m_refs;
    long m_major, m_minor;
};

}  // namespace

IClassFactory* CreateVersionInfoFactory(long major, long minor) {
    auto* factory = new (std::nothrow) VersionInfoFactory(major, minor);
    if (factory) factory->AddRef();
    return factory;
}

}  // namespace kv::mmc
