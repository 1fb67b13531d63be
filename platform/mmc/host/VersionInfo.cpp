#include "platform/mmc/host/VersionInfo.h"

#include <new>

namespace kv::mmc {

namespace {

class VersionInfo : public kv::platform::SingleInterfaceObject<IMMCVersionInfo, IID_IMMCVersionInfo> {
public:
    VersionInfo(long major, long minor) : m_major(major), m_minor(minor) {}
    STDMETHODIMP GetMMCVersion(long* major, long* minor) override {
        if (major == nullptr || minor == nullptr) return E_POINTER;
        *major = m_major;
        *minor = m_minor;
        return S_OK;
    }

private:
    long m_major, m_minor;
};

class VersionInfoFactory : public kv::platform::SingleInterfaceObject<IClassFactory, IID_IClassFactory> {
public:
    VersionInfoFactory(long major, long minor) : m_major(major), m_minor(minor) {}
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
    long m_major, m_minor;
};

}  // namespace

IClassFactory* CreateVersionInfoFactory(long major, long minor) {
    auto* factory = new (std::nothrow) VersionInfoFactory(major, minor);
    if (factory) factory->AddRef();
    return factory;
}

}  // namespace kv::mmc
