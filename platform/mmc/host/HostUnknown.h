// The console's own objects live as long as the console: their reference
// count only tells how many holders the snap-in has, it never deletes them.
#pragma once

#include <atomic>

#include "platform/com/Unknown.h"

#define KV_HOST_UNKNOWN                                                                         \
    STDMETHODIMP_(ULONG) AddRef() override { return m_hostRefs.fetch_add(1) + 1; }             \
    STDMETHODIMP_(ULONG) Release() override { return m_hostRefs.fetch_sub(1) - 1; }            \
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {                          \
        if (object == nullptr) return E_POINTER;                                                \
        *object = FindInterface(riid);                                                          \
        if (*object == nullptr) return E_NOINTERFACE;                                           \
        AddRef();                                                                               \
        return S_OK;                                                                            \
    }                                                                                           \
    std::atomic<ULONG> m_hostRefs{1};
