#pragma once

#include "console/snapin/ComObject.h"

class CComponent : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (riid == IID_IUnknown) return ReturnInterface<IUnknown>(this, object);
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ORV_COM_REFCOUNT();
};
