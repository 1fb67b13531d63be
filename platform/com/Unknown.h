// IUnknown and IClassFactory, the reference count every COM object of the
// system keeps, the module's live-object count behind DllCanUnloadNow, and a
// small owning interface pointer.
#pragma once

#include <atomic>
#include <new>

#include "platform/com/Guid.h"
#include "platform/win/WinTypes.h"

#define STDMETHODCALLTYPE
#define STDMETHOD(method) virtual HRESULT method
#define STDMETHOD_(type, method) virtual type method
#define STDMETHODIMP HRESULT
#define STDMETHODIMP_(type) type
#define PURE = 0

#ifndef E_NOINTERFACE
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#endif
#ifndef E_POINTER
#define E_POINTER ((HRESULT)0x80004003L)
#endif
#ifndef E_NOTIMPL
#define E_NOTIMPL ((HRESULT)0x80004001L)
#endif
#ifndef E_UNEXPECTED
#define E_UNEXPECTED ((HRESULT)0x8000FFFFL)
#endif
#ifndef CLASS_E_NOAGGREGATION
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110L)
#endif
#ifndef CLASS_E_CLASSNOTAVAILABLE
#define CLASS_E_CLASSNOTAVAILABLE ((HRESULT)0x80040111L)
#endif
#ifndef SELFREG_E_CLASS
#define SELFREG_E_CLASS ((HRESULT)0x80040201L)
#endif
#ifndef NOERROR
#define NOERROR S_OK
#endif

// {00000000-0000-0000-C000-000000000046}
inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {00000001-0000-0000-C000-000000000046}
inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

struct IUnknown {
    STDMETHOD(QueryInterface)(REFIID riid, void** object) PURE;
    STDMETHOD_(ULONG, AddRef)() PURE;
    STDMETHOD_(ULONG, Release)() PURE;

protected:
    // Objects go away through Release only.
    virtual ~IUnknown() = default;
};
typedef IUnknown* LPUNKNOWN;

struct IClassFactory : IUnknown {
    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID riid, void** object) PURE;
    STDMETHOD(LockServer)(BOOL lock) PURE;
};

namespace kv::platform {

// Live objects and server locks of the module this copy of the platform layer
// is linked into: DllCanUnloadNow answers S_OK only at zero.
inline std::atomic<long> g_comModuleCount{0};

// The reference count of one object; the object counts toward its module's
// live objects for as long as it exists.
class ComRefCount {
public:
    ComRefCount() { g_comModuleCount.fetch_add(1); }
    ~ComRefCount() { g_comModuleCount.fetch_sub(1); }
    ComRefCount(const ComRefCount&) = delete;
    ComRefCount& operator=(const ComRefCount&) = delete;
    ULONG Increment() { return m_count.fetch_add(1) + 1; }
    ULONG Decrement() { return m_count.fetch_sub(1) - 1; }

private:
    std::atomic<ULONG> m_count{0};
};

// IUnknown for an object that offers one interface besides IUnknown: the
// QueryInterface, AddRef and Release every such object would write again.
// The object deletes itself with its last reference.
template <class Interface, const IID& kInterfaceId>
class SingleInterfaceObject : public Interface {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == kInterfaceId) {
            *object = static_cast<Interface*>(this);
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

protected:
    virtual ~SingleInterfaceObject() = default;

private:
    ComRefCount m_refs;
};

// A class factory for a class with a default constructor that implements
// QueryInterface itself. No aggregation.
template <class T>
class ClassFactory : public SingleInterfaceObject<IClassFactory, IID_IClassFactory> {
public:
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        T* instance = new (std::nothrow) T;
        if (instance == nullptr) return E_OUTOFMEMORY;
        instance->AddRef();
        HRESULT hr = instance->QueryInterface(riid, object);
        instance->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            g_comModuleCount.fetch_add(1);
        else
            g_comModuleCount.fetch_sub(1);
        return S_OK;
    }
};

}  // namespace kv::platform

// An owning interface pointer: releases what it holds.
template <class T>
class CComPtr {
public:
    CComPtr() = default;
    CComPtr(T* p) : m_p(p) {
        if (m_p) m_p->AddRef();
    }
    CComPtr(const CComPtr& other) : CComPtr(other.m_p) {}
    CComPtr(CComPtr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    ~CComPtr() { Release(); }
    CComPtr& operator=(const CComPtr& other) {
        if (other.m_p) other.m_p->AddRef();
        Release();
        m_p = other.m_p;
        return *this;
    }
    CComPtr& operator=(CComPtr&& other) noexcept {
        if (this != &other) {
            Release();
            m_p = other.m_p;
            other.m_p = nullptr;
        }
        return *this;
    }
    CComPtr& operator=(T* p) { return *this = CComPtr(p); }
    T* operator->() const { return m_p; }
    operator T*() const { return m_p; }
    // For out-parameters; the pointer must be empty.
    T** operator&() { return &m_p; }
    void Release() {
        if (m_p) {
            T* p = m_p;
            m_p = nullptr;
            p->Release();
        }
    }
    void Attach(T* p) {
        Release();
        m_p = p;
    }
    T* Detach() {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }
    T* p() const { return m_p; }

private:
    T* m_p = nullptr;
};
