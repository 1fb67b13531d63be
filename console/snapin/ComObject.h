// The reference counting every class of the snap-in shares.
#pragma once

#include "platform/com/Unknown.h"

#define ORV_COM_REFCOUNT()                                              \
    STDMETHODIMP_(ULONG) AddRef() override { return m_refs.Increment(); } \
    STDMETHODIMP_(ULONG) Release() override {                           \
        ULONG left = m_refs.Decrement();                                \
        if (left == 0) delete this;                                     \
        return left;                                                    \
    }                                                                   \
    kv::platform::ComRefCount m_refs

// Hands out one interface of an object with a reference.
template <class Interface, class Object>
HRESULT ReturnInterface(Object* object, void** out) {
    *out = static_cast<Interface*>(object);
    object->AddRef();
    return S_OK;
}
